#include "Listings.h"

#include "tessaly/tessaly.h"

namespace tessaly::tool {

// One line per listing, in the order --help shows them.
constexpr ListingEntry kListings[] = {
    {"kq", "daily attendance records", &clsKQ::CaptionedListing},
    {"mtj", "monthly attendance statistics", &clsMTJ::CaptionedListing},
    {"trans", "card punches", &clsTrans::CaptionedListing},
    {"translost", "rejected punches", &clsTransLost::SearchListing},
    {"collect", "collected raw punches, in collection order", &clsCollect::CollectedListing},
    {"kqj", "attendance terminals, by name", &clsKQJ::TerminalListing},
    {"log", "import log, by date and time", &clsLog::CaptionedListing},
};

std::span<const ListingEntry> Listings() { return kListings; }

}  // namespace tessaly::tool
