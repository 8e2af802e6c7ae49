// The text label table: every user-visible text is referred to by a label, a
// word beginning with ">" (">GameName", ">NoMode"), and this table maps each
// label to its text, loaded from "scripts\text_keys.txt". Texts are 8-bit,
// code page 1250, kept as bytes.
//
// One global instance, built during static initialisation before the process
// entry runs. Its duplicate-label lines for "!labels.txt", and the line of a
// text file that cannot be opened or read for "!error.txt" (and the console's
// log), are held until the entry has deleted the previous run's reports
// (FlushReports), so they survive this run and a refused second instance
// writes nothing. A missing, unreadable or empty file gives an empty table;
// every lookup of a missing label gives an empty text, never null. Afterwards read-only, main thread.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct strtext {
    char* klucz = nullptr; // the label with its ">", spelled as in the file
    char* zawartosc = nullptr;
    strtext* prev = nullptr;
    strtext* next = nullptr;
};

class ETextMgr {
  public:
    ETextMgr();
    virtual ~ETextMgr();
    ETextMgr(const ETextMgr&) = delete;
    ETextMgr& operator=(const ETextMgr&) = delete;

    // Empties the table and reads "scripts\text_keys.txt" from the start
    // directory again.
    void Load();
    // Frees every entry, unregistering it from the allocation tracker.
    void Clear();

    // The text of a label compared without letter case; "" when missing. The
    // result lives as long as the table.
    const char* GetText(const char* label) const;
    // The entry whose key equals the label byte for byte, or null.
    strtext* FindExact(const char* label) const;
    // Replaces every known label token of the line by its text, in place. A
    // token runs from its ">" to the next blank, tab or end (at most 127
    // characters) and is matched byte for byte. The result is cut to the
    // line's capacity, terminator included.
    void ReplaceKeys(char* line, size_t capacity) const;
    // Writes the report lines held since construction; later loads report at once.
    void FlushReports();

    // Head of the list; the entry read last from the file comes first.
    strtext* m_pTexts = nullptr;

  private:
    bool m_bHoldReports = false;
    std::vector<std::pair<std::string, std::string>> m_HeldReports; // line, log file ("" the error log)
    // The entry each look-up finds first from the head (the one read last),
    // by the exact key and by NoCaseKey, so that neither loading nor a look-up
    // walks the list.
    std::unordered_map<std::string, strtext*> m_ByKey;
    std::unordered_map<std::string, strtext*> m_ByKeyNoCase;

    // A line for a log file (null: the error log), held until FlushReports.
    void Report(const char* line, const char* logFile);
    void AddEntry(const char* key, const char* text);
    void FreeEntries(bool untrack);
};

extern ETextMgr g_TextMgr;

// Deletes the report files of the previous run: "!labels.txt", "!error.txt",
// "!anims.txt", "!subsets.txt", "!techs.txt", "!textures.txt", "!variables.txt".
void DeletePreviousReports();
