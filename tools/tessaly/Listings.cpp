#include "Listings.h"

#include "tessaly/tessaly.h"

namespace tessaly::tool {

// One line per listing, in the order --help shows them.
constexpr ListingEntry kListings[] = {
    {"kq", "daily attendance records", &clsKQ::CaptionedListing},
    {"mtj", "monthly attendance statistics", &clsMTJ::CaptionedListing},
};

std::span<const ListingEntry> Listings() { return kListings; }

}  // namespace tessaly::tool
