#include "image_list.h"

#include <QString>

namespace kestrix {

QIcon ImageList::Icon(int32_t index)
{
    if (index < 0 || index >= kCount)
        return {};
    return QIcon(QString::asprintf(":/icons/imagelist_%02d.png", index));
}

}  // namespace kestrix
