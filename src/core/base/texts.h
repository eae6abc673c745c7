#pragma once

#include "platform/file_dialog.h"

namespace parvane::texts {

inline constexpr const char* kWindowTitle = "Parvane 4.0";
inline constexpr const char* kSavingCaption = "Saving";
inline constexpr const char* kInvalidSelection = "Invalid Selection";
inline constexpr const char* kCannotOverwrite = "Cannot overwrite file in use...";
inline constexpr const char* kOverwriteQuestion = "File already exist.Overwrite?";
inline constexpr const char* kClipSaved = "Clip Saved";
inline constexpr const char* kClipNotSaved = "Clip not saved: ";
// The save's description has no blank before the parenthesis; the open's has one.
inline const FileFilter kOpenFilter{"VOB Files (*.vob)", {"*.vob"}};
inline const FileFilter kDvdFilter{"DVD (VIDEO_TS.IFO *.iso)", {"VIDEO_TS.IFO", "*.iso"}};
inline const FileFilter kSaveFilter{"VOB Files(*.vob)", {"*.vob"}};
inline constexpr const char* kSaveDialogTitle = "Open";
// The length read-out for a selection that is not valid: a bare digit, not a time.
inline constexpr const char* kNoLength = "0";

} // namespace parvane::texts
