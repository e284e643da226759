#include "mainwin/uFrmRdapJson.h"

#include "desktop/QtText.h"
#include "query/RdapRender.h"
#include "ui_uFrmRdapJson.h"

#include <QFontDatabase>

namespace tesseron {

TfrmRdapJson::TfrmRdapJson(QWidget* owner, std::string_view json)
    : QDialog(owner), ui_(std::make_unique<Ui::TfrmRdapJson>()) {
    ui_->setupUi(this);
    // The answer pane's font, so columns of the layout line up as they do there.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(12);
    ui_->memJson->setFont(fixed);
    ui_->memJson->setPlainText(ToQString(PrettyRdapJson(json)));
    ui_->memJson->setFocus();
}

TfrmRdapJson::~TfrmRdapJson() = default;

} // namespace tesseron
