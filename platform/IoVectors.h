#pragma once
// Bookkeeping for the scattered reads and writes of large pictures.

#include <cstddef>
#include <cstdint>
#include <sys/uio.h>
#include <vector>

namespace platform {

// Drops `done` bytes from the front of iov[first...] after a short read or
// write, so the next call resumes exactly where this one stopped.
inline void ConsumeIoVectors(std::vector<iovec> &iov, size_t &first, size_t done)
{
    while (done != 0) {
        iovec &v = iov[first];
        if (done >= v.iov_len) {
            done -= v.iov_len;
            ++first;
        } else {
            v.iov_base = static_cast<uint8_t *>(v.iov_base) + done;
            v.iov_len -= done;
            done = 0;
        }
    }
}

} // namespace platform
