#include "shredder/tree_walk.h"

#include "platform/file_calls.h"

#include <algorithm>
#include <cerrno>

namespace shredder::detail {

bool isMountPoint(const EntryInfo &entry, const EntryInfo &folder)
{
    const Identity &inner = entry.identity, &outer = folder.identity;
    if (inner.mountRoot)
        return true;
    // Mount ids tell where known: a btrfs subvolume has a device number of its own but is
    // no mount. Without them a new device number is taken for one.
    if (inner.mount && outer.mount)
        return inner.mount != outer.mount;
    return inner.device != outer.device;
}

std::vector<std::string> entryNames(int dirFd, int &error)
{
    return platform::folderNames(dirFd, error);
}

TreeWalk::TreeWalk(UniqueFd root, const EntryInfo &rootInfo, std::string rootPath, std::size_t maxOpen)
    : m_rootPath(std::move(rootPath)), m_maxOpen(std::max<std::size_t>(maxOpen, 2))
{
    m_frames.push_back({{}, rootInfo, std::move(root), {}, 0});
}

std::string TreeWalk::path(const std::string &name) const
{
    std::string full = m_rootPath;
    for (std::size_t i = 1; i < m_frames.size(); ++i)
        full.append(1, '/').append(m_frames[i].name);
    if (!name.empty())
        full.append(1, '/').append(name);
    return full;
}

// Lists a folder that was just opened and goes in, unless it is not to be entered.
bool TreeWalk::push(TreeVisitor &visitor, UniqueFd fd, std::string name, const EntryInfo &info)
{
    int error = 0;
    std::vector<std::string> names = entryNames(fd.get(), error);
    if (error) {
        visitor.unreadable(name, error);
        return false;
    }
    if (!visitor.enter(fd.get(), name, info))
        return false;
    if (!m_frames.empty() && m_frames.size() - m_lowestOpen >= m_maxOpen)
        m_frames[m_lowestOpen++].fd.reset();
    m_frames.push_back({std::move(name), info, std::move(fd), std::move(names), 0});
    return true;
}

// The parent of the deepest folder, opened again through "..": it must be the folder that
// was left, or the tree has been moved and nothing more of it is touched.
int TreeWalk::reopenParent()
{
    Frame &child = m_frames.back();
    Frame &parent = m_frames[m_frames.size() - 2];
    UniqueFd fd = platform::openAt(child.fd.get(), "..", platform::ReadOnly | platform::FolderOnly | platform::NoFollow);
    EntryInfo info;
    if (!fd.valid())
        return errno;
    if (const int error = look(fd.get(), {}, info))
        return error;
    if (!(info.identity == parent.info.identity))
        return ESTALE;
    parent.fd = std::move(fd);
    --m_lowestOpen;
    return 0;
}

int TreeWalk::run(TreeVisitor &visitor)
{
    // The root was opened by the caller; it is entered like any other folder.
    Frame root = std::move(m_frames.front());
    m_frames.clear();
    if (!push(visitor, std::move(root.fd), {}, root.info))
        return 0;
    while (!m_frames.empty()) {
        if (visitor.stopped())
            return 0;
        Frame &frame = m_frames.back();
        if (frame.next < frame.names.size()) {
            const std::string &name = frame.names[frame.next++];
            EntryInfo info;
            if (const int error = look(frame.fd.get(), name, info)) {
                if (error != ENOENT) // gone by itself: nothing left to do with it
                    visitor.unreadable(name, error);
                continue;
            }
            if (isMountPoint(info, frame.info)) {
                visitor.mountPoint(name);
            } else if (platform::isFolder(info.mode)) {
                int error = 0;
                UniqueFd child = openSubfolder(frame.fd.get(), name, info.identity, error);
                if (child.valid())
                    push(visitor, std::move(child), name, info); // may invalidate `frame`
                else if (error != ENOENT)
                    visitor.unreadable(name, error);
            } else {
                visitor.entry(frame.fd.get(), name, info, frame.info);
            }
            continue;
        }
        if (m_frames.size() > 1 && !m_frames[m_frames.size() - 2].fd.valid()) {
            if (const int error = reopenParent())
                return error;
        }
        const int parentFd = m_frames.size() > 1 ? m_frames[m_frames.size() - 2].fd.get() : -1;
        visitor.leave(frame.fd.get(), parentFd, frame.name);
        m_frames.pop_back();
    }
    return 0;
}

} // namespace shredder::detail
