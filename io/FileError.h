#pragma once

#include <string>

#include "engine/UserError.h"

namespace ravelle {

// The message for a failed file operation with its errno: missing file
// "ファイルが見つかりません", bad name or path "ファイル名の指定が間違っています",
// access denied "ファイルへのアクセスが拒否されました", anything else
// "I/O エラー (<errno>)".
std::string fileErrorMessage(int errorNumber);
UserError fileError(int errorNumber);

} // namespace ravelle
