#pragma once
// The removal pass: deletes from a destination folder every file and sub-folder that its source
// folder no longer has, whole sub-trees at once. It walks the destination and asks of each entry
// whether the source has it.

#include <string_view>

#include "engine/pass_context.h"

namespace vlm {

void deletesupr(PassContext& ctx, std::string_view source, std::string_view destination);

}  // namespace vlm
