// Modal dialogs in the shape of Windows dialog resources: a dialog is a list
// of controls with numeric ids (static texts, group boxes, push buttons,
// check boxes, drop-down lists) at fixed places, and a handler that
// answers the init message and the commands of its controls. The handler
// changes the controls only through the operations below (set a text, check,
// enable, fill a list, select), so its logic runs the same on this plain
// model in tests as on screen.
//
// RunModal shows the dialog in a window of its own, drawn with Dear ImGui on
// OpenGL (imgui/), and returns when the handler ends it. Running unattended
// (ZT_UNATTENDED=1), or where no window can be opened, the dialog takes its
// default button once its init has run; with ZT_DIALOG_SHOTS naming a
// directory it is first drawn and saved there as "dialog<resource id>.bmp".
//
// Texts are 8-bit, code page 1250. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace window {
class Window;
}

namespace dialog {

enum class ControlKind : uint32_t {
    Static, // a text
    Group,  // a framed group with its title
    Button, // a push button
    CheckBox,
    ComboBox, // a drop-down list
};

struct Control {
    uint32_t id = 0;
    ControlKind kind = ControlKind::Static;
    int x = 0, y = 0, w = 0, h = 0; // pixels from the top-left of the dialog
    std::string text;
    bool enabled = true;
    bool checked = false;
    std::vector<std::string> items;
    int selection = -1;
};

class Dialog;

class Handler {
  public:
    virtual ~Handler() = default;
    // The dialog's init message: fill the controls.
    virtual void OnInit(Dialog& dialog) = 0;
    // A control was used: a button pressed, a check box toggled (its new
    // state already set), a list selection changed (already set).
    virtual void OnCommand(Dialog& dialog, uint32_t id) = 0;
};

class Dialog {
  public:
    Dialog() = default;
    Dialog(uint32_t resourceId, std::string title, int width, int height, std::vector<Control> controls,
           uint32_t defaultButton);

    uint32_t ResourceId() const { return m_resourceId; }
    const std::string& Title() const { return m_title; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    uint32_t DefaultButton() const { return m_defaultButton; }
    const std::vector<Control>& Controls() const { return m_controls; }

    // The control of an id, null when there is none.
    Control* Item(uint32_t id);
    const Control* Item(uint32_t id) const;

    // The operations of a handler; each ignores an unknown id.
    void SetItemText(uint32_t id, const std::string& text);
    std::string GetItemText(uint32_t id) const;
    void CheckButton(uint32_t id, bool checked);
    bool IsButtonChecked(uint32_t id) const;
    void EnableItem(uint32_t id, bool enabled);
    bool IsItemEnabled(uint32_t id) const;
    void ResetList(uint32_t id);
    void AddListItem(uint32_t id, const std::string& text);
    // -1 clears the selection; an index outside the list is refused.
    void SetListSelection(uint32_t id, int index);
    int GetListSelection(uint32_t id) const;

    void End(int result);
    bool Ended() const { return m_ended; }
    int Result() const { return m_result; }

    // What the screen does when the user works a control: a check box
    // toggles, a list takes the selection, then the handler hears the
    // command. Disabled controls do nothing.
    void Click(Handler& handler, uint32_t id);
    void Select(Handler& handler, uint32_t id, int index);

    // The init message.
    void Init(Handler& handler);

  private:
    uint32_t m_resourceId = 0;
    std::string m_title;
    int m_width = 0, m_height = 0;
    std::vector<Control> m_controls;
    uint32_t m_defaultButton = 0;
    bool m_ended = false;
    int m_result = 0;
};

// Shows the dialog modally in a window of its own (the parent stays as it
// is) and runs it until the handler ends it; the dialog's result. Closing
// the dialog's window presses the button closeId (0: nothing).
int RunModal(window::Window* parent, Dialog& dialog, Handler& handler, uint32_t closeId);

} // namespace dialog
