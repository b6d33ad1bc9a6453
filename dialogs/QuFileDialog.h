// The publisher's file dialog: the framework's, under the library's name.
#pragma once

#include "FileDialog.h"

class CQuFileDialog : public CFileDialog {
    DECLARE_DYNAMIC(CQuFileDialog)
public:
    using CFileDialog::CFileDialog;

protected:
    DECLARE_MESSAGE_MAP()
};
