#pragma once

#include <QIcon>

#include <cstdint>

namespace kestrix {

// The window's 16 x 16 icons, addressed by index as the menu, the tool bar, the
// tabs and the list rows use them: 0 open, 1 save, 2 save all, 3 exit,
// 4 document, 5 picture row, 6 search, 7 firmware information, 8 graphics,
// 9 about, 10 files, 11 file row.
class ImageList {
public:
    static constexpr int32_t kCount = 12;

    // The icon at index; a null icon for an index outside 0..kCount - 1.
    static QIcon Icon(int32_t index);
};

}  // namespace kestrix
