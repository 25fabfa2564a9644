// The one crossing between the window's text and the system code page
// (GBK) that the codec's texts are written in.
#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace fw {

// GBK bytes of `text`; a character GBK cannot hold becomes "?". Both
// directions throw std::runtime_error when Qt has no GBK converter, rather
// than lose the text.
[[nodiscard]] std::string ToSystemText(QStringView text);

// `bytes` read as GBK; a broken sequence becomes U+FFFD.
[[nodiscard]] QString FromSystemText(std::string_view bytes);

}  // namespace fw
