#pragma once
// The removal pass: deletes from a destination folder every file and sub-folder that its source
// folder no longer has, whole sub-trees at once. It walks the destination and asks of each entry
// whether the source has it.

#include "engine/pass_context.h"
#include "platform/paths.h"

namespace vlm {

void deletesupr(PassContext& ctx, const DrivePath& source, const DrivePath& destination);

}  // namespace vlm
