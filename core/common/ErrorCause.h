#pragma once

#include <QString>

namespace lunorvale {
enum class FileRefusal; // platform/files/CheckedFiles.h
}

namespace lunorvale::ErrorCause {

// Why a system call failed, for a sentence the user reads ("停止失败：" followed by it). The system's own
// text for an error number is English on most desktops and names the call rather than the cause: it may
// go to the log, never into such a sentence. One sentence of Chinese ending in "。" for each error number
// that the program's calls can meet, and one general sentence that names the number for the rest; none
// holds a Latin letter.
QString sentence(int errorNumber);

// `what` followed by the sentence for `errorNumber`, or `what` alone where the number is 0 (no cause known).
QString withCause(const QString& what, int errorNumber);

// Why one of the program's readers refused what the system would have opened, in the same kind of
// sentence. The system has no number of its own for it: ELOOP, which it gives for a final link that is not
// followed, means too many links anywhere else.
QString sentence(FileRefusal refusal);

} // namespace lunorvale::ErrorCause
