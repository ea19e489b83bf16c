#pragma once

namespace norvi {

// `text` without the characters `dropped` picks at both of its ends: the one trim of the recipient field's
// typed pieces (QStringView, Unicode blanks) and of a list file's lines (QByteArrayView, ASCII blanks, which no
// Big5 trail byte can be).
template <typename View, typename Dropped> View TrimEnds(View text, Dropped dropped) {
    auto begin = decltype(text.size())(0);
    auto end = text.size();
    while (begin < end && dropped(text[begin]))
        ++begin;
    while (end > begin && dropped(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace norvi
