#pragma once
// The one main window: its 28 components, its event handlers and what the module
// operations see of it (ops::ModuleView).

#include <QPointer>
#include <QWidget>

#include "ops/module_view.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTimer;
class QToolButton;
class Panel;
class Shape;

class TfrmModule : public QWidget, public ops::ModuleView {
    Q_OBJECT
public:
    explicit TfrmModule(QWidget *parent = nullptr);
    ~TfrmModule() override;

    // ops::ModuleView
    void setPanelText(ops::Field panel, const QString &text) override;
    QString panelText(ops::Field panel) const override;
    void showReading(ops::Reading reading, const QString &value) override;
    void clearReadings() override;
    void setLamp(ops::LampColour colour) override;
    void setWindowEnabled(bool enabled) override;
    void setBusyCursor(bool busy) override;
    void SetBusy(bool busy) override;
    void selectBaudRate(int index) override;
    int selectedBaudRate() const override;
    void setIdPosition(int position) override;
    bool lockChecked() const override;
    QString printText() const override;
    QString uiText(Text entry) const override;
    void setControlEnabled(ops::Control control, bool enabled) override;
    QString processCaption() const override;
    void setProcessCaption(const QString &caption) override;

public slots:
    void FormShow();
    void btnScanClick();
    void btnIDClick();
    void btnBaudRateClick();
    void btnFactoryClick();
    void btnStatusClick();
    void btnPrintClick();
    void btnProcessClick();
    void btnEngClick();
    void btnGBClick();
    void btnBIG5Click();
    void btnExitClick();
    void sbIDChange();
    void tmrBusyTimer();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void bindComponents();
    void decoratePanels();
    void decorateControls();
    void bindEvents();
    void FormCreate();
    void selectLanguage(int index);
    void closeFromExit();
    void runOperation(void (*operation)(ops::ModuleView &));
    Panel *panelFor(ops::Field panel) const;
    QWidget *controlFor(ops::Control control) const;

    // Components, in the order the layout creates them.
    QLabel *lblID = nullptr;
    QLabel *lblBaudRate = nullptr;
    QPushButton *btnScan = nullptr;
    Panel *pnSerial = nullptr;
    QScrollBar *sbID = nullptr;
    QPushButton *btnID = nullptr;
    QComboBox *cmbBaudRate = nullptr;
    QPushButton *btnBaudRate = nullptr;
    Panel *pnVersion = nullptr;
    QPushButton *btnProcess = nullptr;
    Panel *pnID = nullptr;
    Panel *pnMsg = nullptr;
    Shape *shComm = nullptr;
    QGroupBox *gbDefault = nullptr;
    QTabWidget *pcDefault = nullptr;
    QWidget *tsDefault = nullptr;
    QToolButton *btnFactory = nullptr;
    QPushButton *btnExit = nullptr;
    QPushButton *btnEng = nullptr;
    QPushButton *btnGB = nullptr;
    QPushButton *btnBIG5 = nullptr;
    Panel *pnVOREX = nullptr;
    Panel *pnStatus = nullptr;
    QLineEdit *edText = nullptr;
    QPushButton *btnPrint = nullptr;
    QPushButton *btnStatus = nullptr;
    QCheckBox *chkLock = nullptr;
    QTimer *tmrBusy = nullptr;

    bool m_shownOnce = false;
    bool m_closing = false;      // a close asked for by btnExit or by the session ending
    bool m_busyCursor = false;
    bool m_operationRunning = false;   // a scan or a framed operation: user input is dropped
    QPointer<QWidget> m_focusBeforeDisable;
};
