#include "platform/gui/FontFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale {

namespace {

// FreeType keeps the record for the life of the face and hands it back to `close`.
struct FileStream {
    FT_StreamRec record{};
    int descriptor = -1;
};

unsigned long readAt(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
    // A count of 0 asks whether the offset is a valid place to seek to: 0 means yes.
    if (count == 0)
        return offset <= stream->size ? 0 : 1;
    const int descriptor = reinterpret_cast<FileStream*>(stream)->descriptor;
    unsigned long done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(descriptor, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // FreeType reports a short read as its own error
        done += static_cast<unsigned long>(got);
    }
    return done;
}

void closeStream(FT_Stream stream) {
    auto* file = reinterpret_cast<FileStream*>(stream);
    ::close(file->descriptor);
    delete file;
}

} // namespace

FT_Error FontFiles::openFace(FT_Library library, const char* path, FT_Long index, FT_Face* face) {
    // FreeType refuses these before it takes the stream, which would then never be closed.
    if (!library)
        return FT_Err_Invalid_Library_Handle;
    if (!path || !face)
        return FT_Err_Invalid_Argument;
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return FT_Err_Cannot_Open_Resource;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return FT_Err_Unknown_File_Format; // as FreeType answers for a folder
    }
    auto* file = new FileStream;
    file->descriptor = descriptor;
    file->record.size = static_cast<unsigned long>(status.st_size);
    file->record.descriptor.value = descriptor;
    file->record.read = &readAt;
    file->record.close = &closeStream;
    FT_Open_Args arguments{};
    arguments.flags = FT_OPEN_STREAM;
    arguments.stream = &file->record;
    // From here FreeType owns the stream: it calls `close` when the face is done, or at once when
    // opening fails.
    if (FT_Open_Face(library, &arguments, index, face) == 0)
        return 0;
    // What is no face this way (a file shorter than some format's header reads differently from a
    // stream) is left to FreeType's own way, so the answer is exactly FreeType's.
    FT_Open_Args byPath{};
    byPath.flags = FT_OPEN_PATHNAME;
    byPath.pathname = const_cast<char*>(path);
    return FT_Open_Face(library, &byPath, index, face);
}

} // namespace lunorvale
