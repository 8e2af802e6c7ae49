#include "platform/dialog/Dialog.h"

#include <utility>

namespace dialog {

Dialog::Dialog(uint32_t resourceId, std::string title, int width, int height, std::vector<Control> controls,
               uint32_t defaultButton)
    : m_resourceId(resourceId), m_title(std::move(title)), m_width(width), m_height(height),
      m_controls(std::move(controls)), m_defaultButton(defaultButton) {}

Control* Dialog::Item(uint32_t id) {
    for (Control& c : m_controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

const Control* Dialog::Item(uint32_t id) const {
    return const_cast<Dialog*>(this)->Item(id);
}

void Dialog::SetItemText(uint32_t id, const std::string& text) {
    if (Control* c = Item(id)) c->text = text;
}

std::string Dialog::GetItemText(uint32_t id) const {
    const Control* c = Item(id);
    return c ? c->text : std::string();
}

void Dialog::CheckButton(uint32_t id, bool checked) {
    if (Control* c = Item(id)) c->checked = checked;
}

bool Dialog::IsButtonChecked(uint32_t id) const {
    const Control* c = Item(id);
    return c && c->checked;
}

void Dialog::EnableItem(uint32_t id, bool enabled) {
    if (Control* c = Item(id)) c->enabled = enabled;
}

bool Dialog::IsItemEnabled(uint32_t id) const {
    const Control* c = Item(id);
    return c && c->enabled;
}

void Dialog::ResetList(uint32_t id) {
    if (Control* c = Item(id)) {
        c->items.clear();
        c->selection = -1;
    }
}

void Dialog::AddListItem(uint32_t id, const std::string& text) {
    if (Control* c = Item(id)) c->items.push_back(text);
}

void Dialog::SetListSelection(uint32_t id, int index) {
    Control* c = Item(id);
    if (!c) return;
    if (index < -1 || index >= int(c->items.size())) return;
    c->selection = index;
}

int Dialog::GetListSelection(uint32_t id) const {
    const Control* c = Item(id);
    return c ? c->selection : -1;
}

void Dialog::End(int result) {
    m_ended = true;
    m_result = result;
}

void Dialog::Init(Handler& handler) {
    m_ended = false;
    m_result = 0;
    handler.OnInit(*this);
}

void Dialog::Click(Handler& handler, uint32_t id) {
    Control* c = Item(id);
    if (!c || !c->enabled) return;
    if (c->kind == ControlKind::CheckBox) c->checked = !c->checked;
    handler.OnCommand(*this, id);
}

void Dialog::Select(Handler& handler, uint32_t id, int index) {
    Control* c = Item(id);
    if (!c || !c->enabled || c->kind != ControlKind::ComboBox) return;
    if (index < 0 || index >= int(c->items.size())) return;
    c->selection = index;
    handler.OnCommand(*this, id);
}

} // namespace dialog
