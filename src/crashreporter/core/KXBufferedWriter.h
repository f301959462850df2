#pragma once

#include <cstddef>

namespace kestrix {

// Buffered writes to a file descriptor over a caller-provided buffer; async-signal-safe.
class KXBufferedWriter
{
public:
    void init(int fd, char *buffer, size_t capacity);
    bool write(const char *data, size_t length);
    bool flush();
    int fd() const { return m_fd; }
    // Bytes taken since init, written out or still buffered.
    size_t written() const { return m_written; }

    // The encoder's add-data callback over a writer given as user data: 0, or 2 on failure.
    static int addJSONData(const char *data, size_t length, void *writer);

private:
    int m_fd = -1;
    char *m_buffer = nullptr;
    size_t m_capacity = 0;
    size_t m_used = 0;
    size_t m_written = 0;
};

// Writes every byte, retrying on EINTR; false on any other error.
bool kxfileWriteFully(int fd, const char *data, size_t length);

// The text after the last "/", or the whole text.
const char *kxfileLastPathComponent(const char *path);

// Free (available to us) and total bytes of the file system holding `path`; false when it cannot be read.
bool kxfileSpace(const char *path, unsigned long long *freeBytes, unsigned long long *totalBytes);

} // namespace kestrix
