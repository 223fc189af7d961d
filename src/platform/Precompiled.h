#pragma once
// The standard and Qt headers that nearly every unit includes, compiled once per
// build and given to every unit (cmake/QiraLibrary.cmake): they are most of each
// unit's compile time. Only system headers belong here, never the project's own
// nor GL/EGL ones (their names meet the engine's), so no unit sees more of the
// project than it includes itself.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QString>
#include <QWidget>
