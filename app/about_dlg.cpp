#include "about_dlg.h"

#include "resources/resource_ids.h"

// Everything, OK and Cancel included, is the base dialog's.
CAboutDlg::CAboutDlg(fw::Dialog* owner) : fw::Dialog(kAboutTemplate, owner) {}

CAboutDlg::~CAboutDlg() = default;
