#pragma once
// The one main window: its components (the component table's, and the busy timer), its event
// handlers and what the module operations see of it (ops::ModuleView).

#include <QPointer>
#include <QWidget>

#include "app/components.h"
#include "ops/module_view.h"

class QTimer;

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
    void setLanguageButtonEnabled(int language, bool enabled) override;
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
    QPushButton *languageButton(int language) const;

    // The components of the table (app/components.h), one member each, by name and kind.
#define TELMAX_COMPONENT_MEMBER(name, kind, ...) app::WidgetOf<app::Kind::kind>::type *name = nullptr;
    TELMAX_COMPONENTS(TELMAX_COMPONENT_MEMBER)
#undef TELMAX_COMPONENT_MEMBER
    QTimer *tmrBusy = nullptr;

    bool m_shownOnce = false;
    bool m_closing = false;      // a close asked for by btnExit or by the session ending
    bool m_busyCursor = false;
    bool m_operationRunning = false;   // a scan or a framed operation: user input is dropped
    QPointer<QWidget> m_focusBeforeDisable;
};
