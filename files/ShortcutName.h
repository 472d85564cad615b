// How the shortcut command names its links: the picture's file name in the chosen folder, a
// proposal when that name is taken, and which names a file can bear.
#pragma once

#include <string>
#include <string_view>

// The link for `paperName` in `folder`: the picture's full file name, "へのショートカット" when
// `addSuffix`, and ".lnk" (C:\pics\a.jpg into D:\links gives D:\links\a.jpgへのショートカット.lnk).
std::string ShortcutLinkPath(std::string_view folder, std::string_view paperName, bool addSuffix);

// The name proposed when `linkPath` is taken: the name of the folder holding `target`, "-", and
// the link's file name without its last extension (C:\pics\a.jpg, D:\links\a.jpg.lnk gives
// "pics-a.jpg").
std::string ProposeShortcutName(std::string_view target, std::string_view linkPath);

// `linkPath`'s folder with the entered name and ".lnk".
std::string RenamedLinkPath(std::string_view linkPath, std::string_view name);

// Whether `name` can be a file name on its own: not empty, no path delimiter or wildcard, no
// control character, not ending in a dot or space, and not a device name such as CON or LPT1.
bool IsValidFileName(std::string_view name);
