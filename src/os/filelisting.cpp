#include "os/filelisting.h"

std::string_view FolderListing::name(std::size_t index) const
{
    const Entry& entry = m_entries[index];
    return std::string_view(m_names).substr(entry.offset, entry.length);
}

void FolderListing::reorder(const std::vector<std::size_t>& order)
{
    std::vector<Entry> reordered;
    reordered.reserve(order.size());
    for (const std::size_t index : order)
        reordered.push_back(m_entries[index]);
    m_entries = std::move(reordered);
}

std::optional<std::vector<ListedFile>> listFolderFiles(const std::string& folder,
                                                       const std::function<bool(std::string_view)>& accept)
{
    std::optional<FolderListing> listing = FolderListing::read(folder);
    if (!listing)
        return std::nullopt;
    return listing->files(accept);
}
