#pragma once

#include <QDialog>

#include <memory>
#include <string_view>

namespace Ui {
class TfrmRdapJson;
}

namespace tesseron {

// A read-only view of an RDAP answer's JSON as the server sent it, laid out with indents
// in a fixed-width font; the text can be selected and copied, Close or Esc ends it.
class TfrmRdapJson final : public QDialog {
    Q_OBJECT

public:
    TfrmRdapJson(QWidget* owner, std::string_view json);
    ~TfrmRdapJson() override;

private:
    std::unique_ptr<Ui::TfrmRdapJson> ui_;
};

} // namespace tesseron
