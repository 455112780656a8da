#pragma once

#include <dirent.h>
#include <string>

// An open directory stream, closed when it goes.
class DirHandle
{
public:
    explicit DirHandle(const std::string& path) : m_dir(opendir(path.c_str())) {}
    ~DirHandle()
    {
        if (m_dir)
            closedir(m_dir);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};
