// The listings `tessaly list DB NAME` prints: one line each in Listings.cpp.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tessaly/framework/Listing.h"

namespace tessaly::tool {

struct ListingEntry {
  std::string_view name;  // what the command takes
  std::string_view help;  // one line for --help
  // The class's captioned listing: its select list gives the statement and
  // the captions, its row the field name behind each caption.
  const framework::Listing& (*listing)();
  // Where the listing's --where is a text to look for rather than a
  // condition: turns that text into the condition (the type-ahead search).
  std::string (*condition)(const std::string& typed) = nullptr;
};

std::span<const ListingEntry> Listings();

}  // namespace tessaly::tool
