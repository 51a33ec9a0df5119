#pragma once

#include "shredder/file_access.h"

#include <string>
#include <vector>

namespace shredder::detail {

// True when `entry`, seen inside `folder`, is where another mount is attached: a mount root,
// or reached through another mount or device. Such an entry belongs to someone else's tree.
bool isMountPoint(const EntryInfo &entry, const EntryInfo &folder);

// What a walk does with what it finds.
class TreeVisitor
{
public:
    virtual ~TreeVisitor() = default;
    virtual bool stopped() const { return false; }
    // Whether to go into a folder, given open; the root is asked too.
    virtual bool enter(int folderFd, const std::string &name, const EntryInfo &folder) = 0;
    // Every entry that is not a folder to go into.
    virtual void entry(int dirFd, const std::string &name, const EntryInfo &info, const EntryInfo &folder) = 0;
    // A mount inside the tree, never entered.
    virtual void mountPoint(const std::string &name) = 0;
    // A folder that could not be opened, read, or found again.
    virtual void unreadable(const std::string &name, int error) = 0;
    // Once a folder's entries are done; `parentFd` is -1 for the root.
    virtual void leave(int folderFd, int parentFd, const std::string &name) = 0;
};

// Walks a folder tree depth first, one component at a time, following no link and entering
// no mount. However deep the tree, it keeps at most `maxOpen` folders open: a folder whose
// descriptor was let go is reopened from its child through "..", and must be the same folder,
// else the walk ends with ESTALE. Names are kept per level, and a full name is built only
// when asked for.
class TreeWalk
{
public:
    TreeWalk(UniqueFd root, const EntryInfo &rootInfo, std::string rootPath, std::size_t maxOpen = 32);

    // Returns 0, or the errno that ended the walk early.
    int run(TreeVisitor &visitor);
    // The full name of `name` inside the folder being walked now.
    std::string path(const std::string &name = {}) const;

private:
    struct Frame
    {
        std::string name;
        EntryInfo info;
        UniqueFd fd;
        std::vector<std::string> names;
        std::size_t next = 0;
    };
    bool push(TreeVisitor &visitor, UniqueFd fd, std::string name, const EntryInfo &info);
    int reopenParent();

    std::vector<Frame> m_frames;
    std::string m_rootPath;
    std::size_t m_maxOpen;
    std::size_t m_lowestOpen = 0; // frames below this one have let their descriptor go
};

// The names in a folder, "." and ".." left out; `error` is set when it could not be read whole.
std::vector<std::string> entryNames(int dirFd, int &error);

} // namespace shredder::detail
