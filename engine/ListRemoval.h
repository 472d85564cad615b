// Taking the current picture out of the lists: the PictureList entry and its RandomList entry
// go, the cursors step back so that the next step shows the following picture, and the random
// order is renumbered to hold every remaining index once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/ListBox.h"

// `renumbering` brackets the renumbering (the busy display): called with true before, false
// after.
void RemoveCurrentPicture(TListBox& pictures, TListBox& randomOrder, bool randomLoad,
                          const std::function<void(bool)>& renumbering = {});

// Removes the entry at `m` that is not the current one: both cursors stay on the entries they
// were on, and the random order is renumbered.
void RemoveOtherPicture(TListBox& pictures, TListBox& randomOrder, int m);

// Removes the first line that names `entry` regardless of case, each line read through
// `resolve` (a list file's lines may be relative or written in another form than the entry's);
// false (nothing removed) when no line does. The other lines stay as written.
bool RemoveListLine(std::vector<std::string>& lines, const std::string& entry,
                    const std::function<std::string(const std::string&)>& resolve);
