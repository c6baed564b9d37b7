// A depth-first walk over a directory tree that hands every file whose name
// ends in one of a set of four-character extensions to a hook.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/Platform.h"

class CDirectoryWalker {
public:
    explicit CDirectoryWalker(IPlatform& platform);
    virtual ~CDirectoryWalker();
    CDirectoryWalker(const CDirectoryWalker&) = delete;
    CDirectoryWalker& operator=(const CDirectoryWalker&) = delete;

    // Walks the tree below `dir`, a drive name ("C:") or a directory path
    // without trailing backslash. Returns when done or when m_bAbort is set.
    void Walk(const std::string& dir);

    // Adds an extension (four characters, or "*" for names without a dot)
    // unless an equal one, ignoring case, is there already.
    bool AddExtension(const std::string& ext);
    void ClearExtensions();
    const std::vector<std::string>& Extensions() const { return m_extensions; }

    // Set by the user interface thread to stop the walk; read at every entry.
    std::atomic<int> m_bAbort{0};

    // How many folder levels below the starting folder are entered. The walk
    // recurses once per level, and paths may be 32,767 characters long, so
    // a tree built to be deep (or a link loop the system shows as a plain
    // folder) would otherwise run the scan thread out of stack; real trees
    // stay far below this.
    static constexpr int kMaxDepth = 256;

protected:
    virtual void OnEnterDirectory(std::string dir);
    virtual void OnFile(std::string path);
    virtual void OnMatchingFile(std::string path);

    IPlatform& m_platform;

private:
    void ProcessEntry(const std::string& name, std::uint32_t attributes);

    int m_depth = 0;
    // The folders from the walk's start down to the one being listed, as
    // far as their identity could be read.
    std::vector<FolderId> m_ancestors;
    std::string m_strParentDir;
    std::string m_strCurrentDir;
    std::vector<std::string> m_extensions;
};
