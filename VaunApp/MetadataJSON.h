#pragma once
// The metadata record as the one JSON line `vaun --metadata` prints.
#include "inspect/AudioMetadata.h"

#include <string>
#include <string_view>

namespace vaun {

// The record's 29 fields in declaration order as {"fileName": …, …, "warnings": […]}:
// absent values null, doubles in their shortest exact form, dates as ISO 8601 UTC with
// seconds, artwork as its byte count, bwf as an object; no newline.
std::string metadataJSON(const AudioMetadata& metadata);

// A JSON string literal (RFC 8259); ill-formed UTF-8 becomes U+FFFD.
std::string jsonString(std::string_view text);
// The same, appended to `out`.
void appendJsonString(std::string& out, std::string_view text);
// "2026-11-30T14:05:09Z": whole seconds, rounded down.
std::string isoDate(const AudioMetadata::Date& date);

} // namespace vaun
