#pragma once

#include "support/RecordingCalls.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// The states a crash can leave of a recorded run on a POSIX file system, in the manner of ALICE
// (OSDI 2014): every prefix of the operations; the prefix with one operation dropped that no
// completed fsync had made durable (writes and names reach the disk in any order until an fsync
// orders them); and the prefix whose last write reached the disk only in part. With all (the
// environment's PELMORA_CRASH_STATES=all) every pair of such operations is dropped as well, and the
// last write may stop after one byte, a quarter, a half or all but one. A state that a dropped
// operation makes impossible (a file renamed that never got its name) is left out.
class CrashStates
{
public:
    using Op = RecordingCalls::Op;
    using Kind = RecordingCalls::Kind;

    // The folders and the files by name with their bytes.
    struct State
    {
        std::set<std::string> folders;
        std::map<std::string, std::string> files;
        std::map<std::string, std::string> links; // second names: name -> the first name
        bool operator<(const State& other) const
        {
            return std::tie(folders, files, links) < std::tie(other.folders, other.files, other.links);
        }
    };

    static bool Long()
    {
        const char* all = std::getenv("PELMORA_CRASH_STATES");
        return all && std::string(all) == "all";
    }

    CrashStates(const RecordingCalls::Snapshot& start, std::vector<Op> ops)
        : m_start(start), m_ops(std::move(ops))
    {
    }

    // What each file held at the start and at the end of the run: the versions that are whole.
    std::set<std::string> WholeVersions() const
    {
        std::map<int, std::string> contents = m_start.contents;
        std::set<std::string> versions;
        for (const auto& [file, bytes] : contents)
            versions.insert(bytes);
        for (const Op& op : m_ops)
            if (op.kind == Kind::Write || op.kind == Kind::Truncate)
                Change(contents[op.file], op, op.data.size());
        for (const auto& [file, bytes] : contents)
            versions.insert(bytes);
        return versions;
    }

    // Every distinct state, each once, with the longest prefix of the operations it comes from (a
    // crash after that many calls can leave it); explored counts the states before they were merged.
    std::map<State, std::size_t> Enumerate(std::size_t& explored) const
    {
        std::map<State, std::size_t> states;
        explored = 0;
        const auto add = [&](const std::vector<bool>& kept, std::size_t torn, std::size_t tornAt) {
            State state;
            if (Apply(kept, torn, tornAt, state)) {
                ++explored;
                std::size_t& after = states[std::move(state)];
                after = std::max(after, torn == SIZE_MAX ? kept.size() : torn);
            }
        };
        for (std::size_t prefix = 0; prefix <= m_ops.size(); ++prefix) {
            std::vector<bool> kept(prefix, true);
            add(kept, SIZE_MAX, 0);
            const std::vector<std::size_t> free = Unpinned(prefix);
            for (std::size_t i = 0; i < free.size(); ++i) {
                kept[free[i]] = false;
                add(kept, SIZE_MAX, 0);
                for (std::size_t j = i + 1; Long() && j < free.size(); ++j) {
                    kept[free[j]] = false;
                    add(kept, SIZE_MAX, 0);
                    kept[free[j]] = true;
                }
                kept[free[i]] = true;
            }
            if (prefix > 0 && m_ops[prefix - 1].kind == Kind::Write) {
                const std::size_t size = m_ops[prefix - 1].data.size();
                for (std::size_t at : Long() ? std::vector<std::size_t>{1, size / 4, size / 2, size - 1}
                                             : std::vector<std::size_t>{size / 2})
                    if (at > 0 && at < size)
                        add(kept, prefix - 1, at);
            }
        }
        return states;
    }

    // Puts the state in place below root, which is emptied first.
    static void Materialize(const State& state, const std::string& root)
    {
        namespace fs = std::filesystem;
        for (const auto& entry : fs::directory_iterator(root))
            fs::remove_all(entry.path());
        for (const std::string& folder : state.folders)
            fs::create_directories(root + "/" + folder);
        for (const auto& [name, bytes] : state.files)
            std::ofstream(root + "/" + name, std::ios::binary) << bytes;
        for (const auto& [name, first] : state.links)
            fs::create_hard_link(root + "/" + first, root + "/" + name);
    }

private:
    // Whether the fsync at k makes op i durable.
    bool Covers(const Op& sync, const Op& op) const
    {
        const bool bytes = op.kind == Kind::Write || op.kind == Kind::Truncate;
        if (sync.kind == Kind::Fsync)
            return bytes && op.file == sync.file;
        // The names too reach the disk on most file systems; the folder's sync is what saves rely on.
        if (sync.kind == Kind::SyncFileSystem)
            return bytes;
        if (sync.kind != Kind::FsyncFolder)
            return false;
        const auto in = [&](const std::string& name) {
            const auto slash = name.rfind('/');
            return (slash == std::string::npos ? std::string() : name.substr(0, slash)) == sync.name;
        };
        switch (op.kind) {
        case Kind::Name:
        case Kind::Unlink:
        case Kind::MakeFolder:
            return in(op.name);
        case Kind::Rename:
            return in(op.name) || in(op.other);
        default:
            return false;
        }
    }

    // The operations of the prefix that no completed fsync made durable.
    std::vector<std::size_t> Unpinned(std::size_t prefix) const
    {
        std::vector<std::size_t> free;
        for (std::size_t i = 0; i < prefix; ++i) {
            const Kind kind = m_ops[i].kind;
            if (kind == Kind::Fsync || kind == Kind::FsyncFolder || kind == Kind::SyncFileSystem)
                continue;
            bool pinned = false;
            for (std::size_t k = i + 1; k < prefix && !pinned; ++k)
                pinned = Covers(m_ops[k], m_ops[i]);
            if (!pinned)
                free.push_back(i);
        }
        return free;
    }

    // A write of the first size bytes of the op's data, or a truncation.
    static void Change(std::string& bytes, const Op& op, std::size_t size)
    {
        if (op.kind == Kind::Truncate) {
            bytes.resize(op.offset, '\0');
            return;
        }
        if (bytes.size() < op.offset + size)
            bytes.resize(op.offset + size, '\0');
        bytes.replace(op.offset, size, op.data, 0, size);
    }

    static std::string FolderOfName(const std::string& name)
    {
        const auto slash = name.rfind('/');
        return slash == std::string::npos ? std::string() : name.substr(0, slash);
    }

    bool Apply(const std::vector<bool>& kept, std::size_t torn, std::size_t tornAt, State& state) const
    {
        std::set<std::string> folders = m_start.folders;
        std::map<std::string, int> names = m_start.names;
        std::map<int, std::string> contents = m_start.contents;
        const auto folderThere = [&](const std::string& name) {
            const std::string folder = FolderOfName(name);
            return folder.empty() || folders.count(folder) > 0;
        };
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!kept[i])
                continue;
            const Op& op = m_ops[i];
            switch (op.kind) {
            case Kind::Write:
            case Kind::Truncate:
                Change(contents[op.file], op, i == torn ? tornAt : op.data.size());
                break;
            case Kind::Name:
                if (names.count(op.name) || !folderThere(op.name))
                    return false;
                names[op.name] = op.file;
                break;
            case Kind::Rename:
                if (!names.count(op.name) || !folderThere(op.other))
                    return false;
                names[op.other] = names[op.name];
                names.erase(op.name);
                break;
            case Kind::Unlink:
                if (!names.erase(op.name))
                    return false;
                break;
            case Kind::MakeFolder:
                if (folders.count(op.name) || !folderThere(op.name))
                    return false;
                folders.insert(op.name);
                break;
            default:
                break;
            }
        }
        state.folders = folders;
        std::map<int, std::string> first;
        for (const auto& [name, file] : names) {
            if (first.count(file)) {
                state.links[name] = first[file];
                continue;
            }
            first[file] = name;
            state.files[name] = contents[file];
        }
        return true;
    }

    RecordingCalls::Snapshot m_start;
    std::vector<Op> m_ops;
};
