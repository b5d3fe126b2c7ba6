// The about box: product, version, owner, maker and two links.
#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* Line[6] = {};
    QPushButton* bbOk = nullptr;

    /// Hands an address to the desktop's default handler; tests may replace it.
    std::function<void(const QUrl&)> OpenUrl;

    static constexpr const char* ContactAddress = "support@kelvora.example";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
