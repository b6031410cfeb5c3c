// files.h: the table files a folder list offers, and the private folder the library is given.
// The library trusts every byte of a table (a damaged one can send it outside the file, and a
// special file can block it), so only files that pass these checks ever reach it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The sound tables found, by file name, with their paths: a table in two folders is read from
// the first. Each folder that cannot be read and each file that fails its checks is named in
// an info string. `whole_folders` are those where every file that the library could open
// is one of the sound tables found there: a folder the library may be given as it is.
struct TableFiles {
    std::map<std::string, std::string> paths;
    std::vector<std::string> whole_folders;
};
TableFiles find_table_files(std::string_view paths);

// A new private folder of links to the tables, or "" when none can be made (said in an info
// string); the owner removes it with remove_link_folder. `library_paths` receives the folders
// the library is to read: that one, and on Windows, where a hard link cannot reach another
// volume, also the whole folders of tables that could not be linked.
std::string make_link_folder(const TableFiles& files, std::string& library_paths);
void remove_link_folder(std::string& folder);
