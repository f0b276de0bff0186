#pragma once
// The removal pass: deletes from a destination folder every file and sub-folder that its source
// folder no longer has, whole sub-trees at once. It walks the destination and asks of each entry
// whether the source has it.

#include <string_view>

#include "engine/pass_context.h"

namespace vlm {

void deletesupr(PassContext& ctx, std::string_view source, std::string_view destination);

// True when deletesupr(source, destination) would remove every entry of the non-empty, writable
// destination folder: the source folder is empty, or holds none of the destination's entries.
// Judged from one names-and-kinds listing of each side's top level, by the pass's own rule of
// what the source has (with `longNames`, a copy under its cut 127-character name stays too); an
// unreadable side is false (the pass then removes nothing).
bool RemovalWouldEmpty(std::string_view source, std::string_view destination, bool longNames);

}  // namespace vlm
