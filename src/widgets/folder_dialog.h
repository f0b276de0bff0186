#pragma once
// The desktop's folder dialog, as every window of the program asks for a folder.

#include <string>

class QWidget;

namespace vlm {

// A folder the person picks (a host path), starting at `startFolder`; empty when cancelled.
std::string ChooseFolderWithDialog(QWidget* parent, const std::string& caption,
                                   const std::string& startFolder);

}  // namespace vlm
