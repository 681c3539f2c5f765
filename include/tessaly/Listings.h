// The captioned listings by name: what `tessaly list DB NAME` prints, and what
// a host's grid may show the same way. Each is a class's own listing, or, for
// the tables whose classes have none, every row of the table under its
// declared names.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tessaly/framework/Listing.h"

namespace tessaly {

struct NamedListing {
  std::string_view name;  // the name the command takes
  std::string_view help;  // one line for the command's --help
  // The listing: its select list gives the statement and the captions, its
  // row the field name behind each caption.
  const framework::Listing& (*listing)();
  // Where the listing's --where is a text to look for rather than a
  // condition: turns that text into the condition (the type-ahead search).
  std::string (*condition)(const std::string& typed) = nullptr;
};

// Every listing, in the order the command's --help shows them.
std::span<const NamedListing> NamedListings();

}  // namespace tessaly
