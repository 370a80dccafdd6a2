#pragma once
#include <string>

namespace tabulor::db::access {

// The value of "Data Source=" in an OLE DB connection string such as
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\dir\file.mdb;Persist Security Info=False".
// Keys compare without regard to case; a value may be quoted. Throws AccessError.
std::string DataSourceOf(const std::string& connection_string);

// A path as the Windows program wrote it, backslashes and any letter case,
// resolved against this system's file system: separators become '/', and a
// component that does not exist as written is looked up without regard to
// case. Gives the converted path as it stands when nothing matches.
std::string ResolveWindowsPath(const std::string& path);

}  // namespace tabulor::db::access
