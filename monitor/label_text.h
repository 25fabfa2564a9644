// The codec's GBK labels as QString, through the project's one GBK converter.
#pragma once

#include <QString>
#include <string_view>

namespace kelvo_monitor {

// `gbk` must be codec-owned text (it is remembered by address).
[[nodiscard]] QString LabelText(std::string_view gbk);

}  // namespace kelvo_monitor
