// JsonDocument's Parse of an arbitrary answer, in the default mode that runs it as script,
// followed by the four reads the share-link job makes. The engine's own bounds (two
// seconds per call, 64 MiB of heap) must end every input; scripts/fuzz gives this target
// a time-out above their sum.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "json/json_document.h"
#include "tests/fuzz/fuzz_input.h"
#include "text/conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The job parses the answer after turning its UTF-8 into code page 936.
    const tarvo::Text answer =
        tarvo::Utf8ToGbk(std::string_view(reinterpret_cast<const char*>(data), size));
    tarvo::JsonDocument document;
    (void)document.Parse(answer);
    (void)document.GetText("data.comment.user.name");
    (void)document.GetText("data.item.video['video_fallback']['url_list'][0].url");
    (void)document.GetText("data.item.video['video_fallback']['url_list'][1].url");
    (void)document.GetText("data.item.share.title");
    return 0;
}
