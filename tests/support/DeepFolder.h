#pragma once

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvik::test {

// Folders of 100-byte names nested below `root` until the path has at least `length` bytes,
// made and removed through directory handles: mkdir and nftw cannot reach paths that long.
class DeepFolder {
public:
    DeepFolder(const std::string& root, size_t length) : m_path(root)
    {
        m_fds.push_back(::open(root.c_str(), O_RDONLY | O_DIRECTORY));
        while (m_path.size() < length) {
            ::mkdirat(m_fds.back(), kName.c_str(), 0755);
            m_fds.push_back(::openat(m_fds.back(), kName.c_str(), O_RDONLY | O_DIRECTORY));
            m_path += '/' + kName;
        }
    }
    ~DeepFolder()
    {
        for (const std::string& f : m_files)
            ::unlinkat(m_fds.back(), f.c_str(), 0);
        for (size_t i = m_fds.size() - 1; i > 0; --i) {
            ::close(m_fds[i]);
            ::unlinkat(m_fds[i - 1], kName.c_str(), AT_REMOVEDIR);
        }
        ::close(m_fds[0]);
    }
    // A file of one step in the deepest folder, whose full path has `length` bytes; "" when it
    // could not be made.
    std::string file(size_t length, const std::string& extension)
    {
        const std::string name = std::string(length - m_path.size() - 1 - extension.size(), 'f') + extension;
        const int fd = ::openat(m_fds.back(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool written = fd >= 0 && ::write(fd, "x;\n", 3) == 3;
        if (fd >= 0)
            ::close(fd);
        if (!written)
            return {};
        m_files.push_back(name);
        return m_path + '/' + name;
    }

private:
    const std::string kName = std::string(100, 'd');
    std::string m_path;
    std::vector<int> m_fds;
    std::vector<std::string> m_files;
};

} // namespace tarvik::test
