#include "os/drives.h"

Drives::Drives(Reader reader) : m_reader(std::move(reader)) {}

const std::vector<Drive>& Drives::list()
{
    if (!m_read)
        reread();
    return m_drives;
}

void Drives::reread()
{
    m_drives = m_reader ? m_reader() : std::vector<Drive>{};
    m_read = true;
}
