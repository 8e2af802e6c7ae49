// A file replaced whole or not at all: every settings file the game rewrites
// ("zt.cfg", "save\video.cfg", "save\keys.cfg", the respawner files) goes
// through it, so that a crash, a full disk or a failed write never leaves a
// good file empty, short or half new.
//
// The new content goes to a temporary file beside the target (the target's
// name with ".new" appended); Commit flushes it to the disk and renames it
// over the target, which takes the new content at once. A write that failed,
// or a commit with nothing written, removes the temporary file and leaves the
// target as it was; so does an object destroyed without Commit. A crash
// before the rename leaves at most the temporary file, which the next
// rewrite replaces. A target that exists keeps its permission bits, and a
// symbolic link stays a link to the rewritten file.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace os {

class AtomicFile {
  public:
    // The name goes through the data-file resolver (ResolvePath).
    explicit AtomicFile(std::string_view name);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The stream to write to (binary); null when the temporary file could not
    // be made, and after Commit or Discard. Writes to a null stream are the
    // callers' no-ops, and Commit then fails.
    std::FILE* File() const { return m_file; }
    // Replaces the target with what was written; false, with the target as it
    // was, when anything failed or nothing was written.
    bool Commit();
    // Drops what was written; the target stays as it was.
    void Discard();
    // Why the file could not be made or committed: a path and the reason.
    const std::string& Error() const { return m_error; }

  private:
    void Fail(const std::string& path, int error);

    std::string m_target;
    std::string m_temporary;
    std::FILE* m_file = nullptr;
    std::string m_error;
};

} // namespace os
