#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "tools/host/RemovalOnSignal.h"

namespace vexo::hosttool {

// A file written under a temporary name beside its destination and renamed into
// place only when complete, so that a failed or interrupted write leaves whatever
// the destination held (the input itself, when the two are the same) untouched.
// The temporary file is removed unless Commit succeeds, also when the process is
// ended by a signal or an exit that skips destructors (see RemovalOnSignal). A
// destination that is a symbolic link stays one: the file it points to is what
// gets replaced, or made when the link dangles, as the shell's > makes it. Only a
// regular file is ever replaced: a device, FIFO or socket in the destination's
// place is refused.
class ReplacementFile {
public:
    // Throws ToolError(kExitOutputFailed) when the destination's folder takes no
    // file, the destination is there but no regular file, it is a link that
    // loops, or what is there could be written but not replaced (another user's
    // file in a sticky folder, an immutable one): all before anything is written.
    explicit ReplacementFile(std::string destination);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Where to write: an empty file that its owner may write, whatever the
    // destination's permissions (a read-only destination is still replaced).
    const std::string& TemporaryPath() const { return temporary_; }

    // Gives the written file the destination's permissions, makes it durable and
    // puts it in the destination's place.
    void Commit();

private:
    std::string destination_;  // as the user named it, for messages
    std::string target_;       // the file that gets replaced
    std::string temporary_;
    mode_t mode_ = 0;  // what the destination has, or a new file gets
    std::optional<RemovalOnSignal> removalOnSignal_;
    bool committed_ = false;
};

}  // namespace vexo::hosttool
