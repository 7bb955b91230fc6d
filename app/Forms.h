#pragma once
// The five windows that live for the whole run, created in this order and
// destroyed in the reverse order (see App.h).

class TPrjForm;
class TEditDlg;
class TEditTabForm;
class TLinkDlg;
class TImportDlg;

extern TPrjForm* PrjForm;
extern TEditDlg* EditDlg;
extern TEditTabForm* EditTabForm;
extern TLinkDlg* LinkDlg;
extern TImportDlg* ImportDlg;
