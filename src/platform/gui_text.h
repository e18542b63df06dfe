#pragma once

// Text crosses into the GUI toolkit here: GBK inside the program, UTF-16 in Qt.

#include <QString>
#include <string>
#include <string_view>

namespace melvara::platform {

QString GbkToQString(std::string_view gbk);
// Characters that GBK cannot hold become '?'.
std::string QStringToGbk(const QString& text);

}  // namespace melvara::platform
