#include "app/TextMgr.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/Console.h"
#include "app/Debug.h"
#include "app/FileHelpers.h"
#include "platform/os/Os.h"

ETextMgr g_TextMgr;

namespace {

constexpr const char* TEXT_FILE = "scripts\\text_keys.txt";
constexpr int LINE_LEN = 512;
constexpr size_t KEY_LEN = 255;
constexpr size_t TOKEN_LEN = 127;
constexpr unsigned char TYPOGRAPHIC_APOSTROPHE = 146;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char* CopyString(const char* s, const char* tag) {
    size_t len = std::strlen(s);
    char* copy = new char[len + 1];
    std::memcpy(copy, s, len + 1);
    g_Debug.AddAllocation(tag);
    return copy;
}

// A blank directly before a punctuation mark goes; of two blanks, one stays.
void RemoveBlanksBeforeMarks(char* text) {
    size_t len = std::strlen(text);
    if (len < 2) return;
    for (size_t i = 0; i + 1 < len; ++i) {
        if (text[i] == ' ' && std::strchr("?!.,;:", text[i + 1])) {
            std::memmove(text + i, text + i + 1, len - i);
            --len;
        }
    }
}

} // namespace

void DeletePreviousReports() {
    for (const char* name : {"!labels.txt", "!error.txt", "!anims.txt", "!subsets.txt", "!techs.txt",
                             "!textures.txt", "!variables.txt"}) {
        os::DeleteFile(name);
    }
}

// The global table loads before the process entry, which must first refuse a
// second instance (that changes nothing) and then delete the previous run's
// reports: its own report lines wait until FlushReports.
ETextMgr::ETextMgr() : m_bHoldReports(true) {
    Load();
}

void ETextMgr::FlushReports() {
    m_bHoldReports = false;
    for (const auto& [line, logFile] : m_HeldReports) {
        ErrorLog(line.c_str(), logFile.empty() ? nullptr : logFile.c_str());
        // The table's own file going wrong belongs in the console's log too.
        if (logFile.empty()) g_Console.Print(line.c_str());
    }
    m_HeldReports.clear();
    m_HeldReports.shrink_to_fit();
}

// At exit the console may already be gone, so the tracker, which prints
// unmatched releases, is left out of the final release.
ETextMgr::~ETextMgr() {
    FreeEntries(false);
}

void ETextMgr::Clear() {
    FreeEntries(true);
}

void ETextMgr::FreeEntries(bool untrack) {
    m_ByKey.clear();
    m_ByKeyNoCase.clear();
    while (strtext* t = m_pTexts) {
        m_pTexts = t->next;
        delete[] t->klucz;
        delete[] t->zawartosc;
        delete t;
        if (untrack) {
            g_Debug.RemoveAllocation("text->klucz");
            g_Debug.RemoveAllocation("text->zawartosc");
            g_Debug.RemoveAllocation("strtext");
        }
    }
}

void ETextMgr::Load() {
    Clear();
    std::FILE* f = os::OpenFile(TEXT_FILE, "rt");
    if (!f) {
        char report[256];
        std::snprintf(report, sizeof report, "%s: cannot be opened (%s)", TEXT_FILE, std::strerror(errno));
        Report(report, nullptr);
        return;
    }
    char line[LINE_LEN + 1];
    // Read before the console exists: a read error is reported here.
    while (MoreLines(f, nullptr)) {
        ReadLineRaw(f, line, LINE_LEN);
        if (line[0] != '>') continue;

        char key[KEY_LEN + 1];
        size_t k = 0;
        while (k < KEY_LEN && line[k] && !IsBlank(line[k])) {
            key[k] = line[k];
            ++k;
        }
        key[k] = 0;

        char text[LINE_LEN + 1];
        const char* argument = GetArgument(line);
        std::strncpy(text, argument[0] == '=' ? argument + 1 : argument, LINE_LEN);
        text[LINE_LEN] = 0;
        for (char* p = text; *p; ++p) {
            if (static_cast<unsigned char>(*p) == TYPOGRAPHIC_APOSTROPHE) *p = '\'';
        }
        RemoveBlanksBeforeMarks(text);

        // One line for each label read again, however many times it came
        // before: a line per earlier copy would grow with the square of the
        // copies.
        if (m_ByKeyNoCase.count(NoCaseKey(key))) {
            char report[KEY_LEN + 32];
            std::snprintf(report, sizeof report, "Duplicate label %s", key);
            Report(report, "!labels.txt");
        }
        AddEntry(key, text);
    }
    const bool unreadable = std::ferror(f);
    const int error = errno;
    std::fclose(f);
    if (!unreadable) return;
    Clear(); // as when the file is missing
    char report[256];
    std::snprintf(report, sizeof report, "%s: cannot be read (%s)", TEXT_FILE, std::strerror(error));
    Report(report, nullptr);
}

void ETextMgr::Report(const char* line, const char* logFile) {
    if (m_bHoldReports)
        m_HeldReports.emplace_back(line, logFile ? logFile : "");
    else
        ErrorLog(line, logFile);
}

void ETextMgr::AddEntry(const char* key, const char* text) {
    strtext* t = new strtext;
    g_Debug.AddAllocation("strtext");
    t->klucz = CopyString(key, "text->klucz");
    t->zawartosc = CopyString(text, "text->zawartosc");
    t->next = m_pTexts;
    if (m_pTexts) m_pTexts->prev = t;
    m_pTexts = t;
    m_ByKey[t->klucz] = t;
    m_ByKeyNoCase[NoCaseKey(t->klucz)] = t;
}

const char* ETextMgr::GetText(const char* label) const {
    if (!label) return "";
    auto it = m_ByKeyNoCase.find(NoCaseKey(label));
    return it != m_ByKeyNoCase.end() ? it->second->zawartosc : "";
}

strtext* ETextMgr::FindExact(const char* label) const {
    if (!label) return nullptr;
    auto it = m_ByKey.find(label);
    return it != m_ByKey.end() ? it->second : nullptr;
}

void ETextMgr::ReplaceKeys(char* line, size_t capacity) const {
    if (!line || capacity == 0) return;
    // Replaced in place, so the line may be as long as its buffer: an
    // expansion that does not fit loses the end of the line, never more.
    size_t len = strnlen(line, capacity - 1);
    line[len] = 0;
    size_t room = capacity - 1;
    size_t i = 0;
    while (i < len) {
        if (line[i] != '>') {
            ++i;
            continue;
        }
        char token[TOKEN_LEN + 1];
        size_t tokenLen = 0;
        while (tokenLen < TOKEN_LEN && line[i + tokenLen] && !IsBlank(line[i + tokenLen])) {
            token[tokenLen] = line[i + tokenLen];
            ++tokenLen;
        }
        token[tokenLen] = 0;
        const strtext* t = FindExact(token);
        if (!t) {
            ++i; // an unknown token stays; the walk goes on inside it
            continue;
        }
        size_t contentLen = std::strlen(t->zawartosc);
        size_t tailLen = len - i - tokenLen;
        size_t contentKeep = contentLen < room - i ? contentLen : room - i;
        size_t tailKeep = tailLen < room - i - contentKeep ? tailLen : room - i - contentKeep;
        std::memmove(line + i + contentKeep, line + i + tokenLen, tailKeep);
        std::memcpy(line + i, t->zawartosc, contentKeep);
        len = i + contentKeep + tailKeep;
        line[len] = 0;
        i += contentKeep; // the inserted text is not searched for labels
    }
}
