// btnIDClick, btnBaudRateClick, btnFactoryClick: the three operations that change what the
// module keeps, each inside the shared frame.

#include "link/commands.h"
#include "link/frame.h"
#include "ops/frame.h"
#include "ops/module_port.h"
#include "ops/operations.h"
#include "platform/hooks.h"

namespace ops {

namespace {

constexpr int kFactoryIdPosition = 1;
const char *const kFactoryId = "01";

} // namespace

void setModuleId(ModuleView &view)
{
    FramedOperation op;
    op.progress = [&view] {
        view.setPanelText(Field::Msg, view.uiText(Text::SetId) + QStringLiteral(" = ") + view.panelText(Field::Id));
        return true;
    };
    op.body = [&view](const std::string &info) {
        const std::string id = view.panelText(Field::Id).toLatin1().toStdString();
        return SendCommand(cmd::setModuleId(cmd::infoSerial(info), id));
    };
    op.okEntry = Text::SetIdOk;
    op.errorEntry = Text::SetIdError;
    runFramed(view, op);
}

void setModuleBaudRate(ModuleView &view)
{
    int index = -1;
    FramedOperation op;
    op.progress = [&view, &index] {
        index = view.selectedBaudRate();
        // Without a valid selection there is nothing to send and no text to show.
        if (index < 0 || index >= kBaudRateCount)
            return false;
        view.setPanelText(Field::Msg, view.uiText(Text::SetBaudRate) + QStringLiteral(" = ")
                                          + QString::fromLatin1(BaudRateList[static_cast<std::size_t>(index)]));
        return true;
    };
    op.body = [&index](const std::string &) {
        if (!SendCommand(cmd::setLineSettings(index)))
            return false;
        keepLineSetting(index);
        return true;
    };
    op.okEntry = Text::SetBaudRateOk;
    op.errorEntry = Text::SetBaudRateError;
    runFramed(view, op);
}

void factoryDefault(ModuleView &view)
{
    FramedOperation op;
    op.progress = [&view] {
        view.setIdPosition(kFactoryIdPosition);
        view.selectBaudRate(kDefaultBaudRateNo);
        view.setPanelText(Field::Msg, view.uiText(Text::SetFactory));
        return true;
    };
    op.body = [](const std::string &info) {
        if (!SendCommand(cmd::setModuleId(cmd::infoSerial(info), kFactoryId)))
            return false;
        platform::SleepMs(kPacingMs);
        if (!SendCommand(cmd::setLineSettings(kDefaultBaudRateNo)))
            return false;
        keepLineSetting(kDefaultBaudRateNo);
        return true;
    };
    op.okEntry = Text::SetFactoryOk;
    op.errorEntry = Text::SetFactoryError;
    runFramed(view, op);
}

} // namespace ops
