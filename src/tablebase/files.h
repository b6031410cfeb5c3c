// files.h: the table files a folder list offers, and the private folder the library is given.
// The library trusts every byte of a table (a damaged one can send it outside the file, and a
// special file can block it), so only files that pass these checks ever reach it.
#pragma once

#include <map>
#include <string>
#include <string_view>

// The sound tables found, by file name, with their paths: a table in two folders is read from
// the first. Each folder that cannot be read and each file that fails its checks is named in
// an info string.
using TableFiles = std::map<std::string, std::string>;
TableFiles find_table_files(std::string_view paths);

// A new private folder of links to `files`, or "" when none can be made (said in an info
// string); the owner removes it with remove_link_folder.
std::string make_link_folder(const TableFiles& files);
void remove_link_folder(std::string& folder);
