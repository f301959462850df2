#include "crashreporter/core/KXBufferedWriter.h"

#include "crashreporter/core/KXJSONEncoder.h"

#include <errno.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>

namespace kestrix {

bool kxfileWriteFully(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

const char *kxfileLastPathComponent(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

bool kxfileSpace(const char *path, unsigned long long *freeBytes, unsigned long long *totalBytes)
{
    struct statvfs info;
    if (statvfs(path, &info) != 0) {
        return false;
    }
    *freeBytes = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
    *totalBytes = static_cast<unsigned long long>(info.f_blocks) * info.f_frsize;
    return true;
}

void KXBufferedWriter::init(int fd, char *buffer, size_t capacity)
{
    m_fd = fd;
    m_buffer = buffer;
    m_capacity = capacity;
    m_used = 0;
    m_written = 0;
}

bool KXBufferedWriter::write(const char *data, size_t length)
{
    m_written += length;
    if (m_capacity == 0) {
        return kxfileWriteFully(m_fd, data, length);
    }
    if (m_used > 0) {
        const size_t room = m_capacity - m_used;
        const size_t piece = length < room ? length : room;
        memcpy(m_buffer + m_used, data, piece);
        m_used += piece;
        data += piece;
        length -= piece;
        if (m_used < m_capacity) {
            return true;
        }
        if (!flush()) {
            return false;
        }
    }
    if (length >= m_capacity) {
        return kxfileWriteFully(m_fd, data, length);
    }
    memcpy(m_buffer, data, length);
    m_used = length;
    return true;
}

bool KXBufferedWriter::flush()
{
    const size_t used = m_used;
    m_used = 0;
    return kxfileWriteFully(m_fd, m_buffer, used);
}

int KXBufferedWriter::addJSONData(const char *data, size_t length, void *writer)
{
    return static_cast<KXBufferedWriter *>(writer)->write(data, length) ? KXJSONOk : KXJSONErrorCannotAddData;
}

} // namespace kestrix
