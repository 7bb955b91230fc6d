#pragma once
// A list of measuring channels as an operator types it: "1,3-5" names
// channels 1, 3, 4 and 5.

#include <string_view>
#include <vector>

// Channels are 1 to 16. Items are separated by ',' and are a channel or a
// range "a-b" with a ≤ b; blanks around items are allowed. On success
// `channels` holds each named channel once, ascending. False, with `channels`
// empty, for an empty list, an empty item, a number out of 1..16, a reversed
// range or any other character.
bool ParseChannelList(std::string_view text, std::vector<int>& channels);
