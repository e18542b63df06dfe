#include "platform/gui_text.h"

#include <QStringView>

#include "platform/codepage.h"

namespace melvara::platform {

QString GbkToQString(std::string_view gbk) {
    const std::u16string wide = GbkToUtf16(gbk);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string QStringToGbk(const QString& text) {
    const QStringView view(text);
    return Utf16ToGbk(std::u16string_view(view.utf16(), static_cast<std::size_t>(view.size())));
}

}  // namespace melvara::platform
