// The project-file reader on any bytes, and the writer's round trip: whatever fields the file
// can hold, the editor reads back exactly as they were written.

#include <cstdint>

#include "core/project_file.h"
#include "fuzz_support.h"

using namespace vlm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Any file: the lookups answer, and the items end at the first empty one.
    const ProjectText text = ProjectText::Parse(bytes);
    const std::vector<std::string> items = text.Items();
    for (const std::string& item : items)
        FUZZ_CHECK(!item.empty());
    (void)text.IsProject();
    (void)ReadRunOptions(text);
    (void)ReadEditorFields(text);

    // Fields from the input, written and read back.
    const auto parts = fuzz::Parts(data, size, 8);
    ProjectFields fields;
    fields.destdrive = parts[0];
    fields.destkind = parts[1];
    const unsigned flags = parts[2].empty() ? 0u : static_cast<unsigned char>(parts[2][0]);
    fields.confirm = flags & 1;
    fields.precalc = flags & 2;
    fields.longnames = flags & 4;
    fields.sync = flags & 8;
    if (fields.sync) {
        fields.syncdest = parts[3];
        fields.destdrive.clear();  // a synchronising project stores no destination drive
    }
    for (std::size_t i = 4; i < parts.size(); ++i)
        if (!parts[i].empty())
            fields.items.push_back(parts[i]);
    if (ProjectFileCanHold(fields)) {
        const std::string file = ProjectFileText(fields);
        const ProjectText again = ProjectText::Parse(file);
        FUZZ_CHECK(again.IsProject());
        const ProjectFields read = ReadEditorFields(again);
        FUZZ_CHECK(read.destdrive == fields.destdrive);
        FUZZ_CHECK(read.destkind == fields.destkind);
        FUZZ_CHECK(read.confirm == fields.confirm);
        FUZZ_CHECK(read.precalc == fields.precalc);
        FUZZ_CHECK(read.longnames == fields.longnames);
        FUZZ_CHECK(read.sync == fields.sync);
        FUZZ_CHECK(read.syncdest == fields.syncdest);
        FUZZ_CHECK(read.items == fields.items);
        // The run reads the same options.
        const RunOptions options = ReadRunOptions(again);
        FUZZ_CHECK(options.confirm == fields.confirm);
        FUZZ_CHECK(options.precalc == fields.precalc);
        FUZZ_CHECK(options.longnames == fields.longnames);
    }
    return 0;
}
