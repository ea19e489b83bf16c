// The "替代簡訊" rule: a list row's "$"-delimited values fill the template's "$1$".."$9$". Whatever the
// template and the content: it ends, keeps at most 959 bytes, gives the content itself when there is no
// value or the template has no "$1$", and otherwise agrees with a plain reading of the rule written here
// independently (every placeholder of the template filled left to right, values never read again).

#include "FuzzCheck.h"

#include "core/compose/RecipientLists.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

using namespace norvi;

namespace {

constexpr std::size_t kKept = 959;

// The texts between pairs of "$", skipping empty ones, at most nine.
std::vector<std::string> values(const std::string& content) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < content.size() && out.size() < 9) {
        if (content[i] != '$') {
            ++i;
            continue;
        }
        std::size_t close = content.find('$', i + 1);
        if (close == std::string::npos)
            close = content.size();
        if (close > i + 1)
            out.push_back(content.substr(i + 1, close - i - 1));
        i = close + 1;
    }
    return out;
}

// Placeholder k replaced everywhere in one left-to-right pass, one k after the other.
std::string fill(std::string text, const std::vector<std::string>& v) {
    for (std::size_t k = 1; k <= v.size(); ++k) {
        const std::string mark = "$" + std::to_string(k) + "$";
        std::string out;
        std::size_t at = 0;
        for (std::size_t hit; (hit = text.find(mark, at)) != std::string::npos; at = hit + mark.size())
            out += text.substr(at, hit - at) + v[k - 1];
        text = out + text.substr(at);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string templ = input.ConsumeRandomLengthString(2000);
    const std::string content = input.ConsumeRemainingBytesAsString();

    const QByteArray result = SubstituteFields(QByteArrayView(templ.data(), qsizetype(templ.size())),
                                               QByteArrayView(content.data(), qsizetype(content.size())));
    FUZZ_CHECK(std::size_t(result.size()) <= kKept);

    const std::vector<std::string> v = values(content);
    std::string expected = (v.empty() || templ.find("$1$") == std::string::npos) ? content : fill(templ, v);
    if (expected.size() > kKept)
        expected.resize(kKept);
    FUZZ_CHECK(result == QByteArray(expected.data(), qsizetype(expected.size())));
    return 0;
}
