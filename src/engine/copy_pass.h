#pragma once
// The copy pass: brings one source item (a file, or a folder with everything below it) to its
// destination, copying what is new or differs in size or modification time. It reports to the
// context's sink: a dry run or a count touches nothing and only says or adds up what a run
// would write.

#include "engine/pass_context.h"
#include "platform/paths.h"

namespace vlm {

// A copy that fails inside a folder walk is reported and the walk goes on; a copy that fails
// for a single file item raises CopyError to the caller (the run driver ends the run).
void copyltor(PassContext& ctx, const DrivePath& source, const DrivePath& destination);

}  // namespace vlm
