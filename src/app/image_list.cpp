#include "image_list.h"

#include <QString>

#include <array>

namespace kestrix {

QIcon TImageList::Icon(int32_t index)
{
    if (index < 0 || index >= kCount)
        return {};
    // Loading a QIcon from a file is cheap but repeated for every painted row,
    // so each index is made once.
    static std::array<QIcon, kCount> icons;
    QIcon& icon = icons[static_cast<std::size_t>(index)];
    if (icon.isNull())
        icon = QIcon(QString::asprintf(":/icons/imagelist_%02d.png", index));
    return icon;
}

}  // namespace kestrix
