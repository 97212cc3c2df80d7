// Windows body of platform/windows/FinishTaskDefinition.h.
#include "platform/windows/FinishTaskDefinition.h"

#include <wrl/client.h>

namespace quillon {

using Microsoft::WRL::ComPtr;

HRESULT describeFinishTask(ITaskDefinition& definition, const FinishTaskCommand& command) {
  ComPtr<IRegistrationInfo> registration;
  ComPtr<IPrincipal> principal;
  ComPtr<ITaskSettings> settings;
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  HRESULT result;
  if (FAILED(result = definition.get_RegistrationInfo(registration.GetAddressOf())) ||
      FAILED(result = registration->put_Author(TemporaryBstr(L"QuillonMigrationTool"))) ||
      FAILED(result = registration->put_Description(
                 TemporaryBstr(L"Finishes an interrupted replacement of the management agent."))) ||
      FAILED(result = definition.get_Principal(principal.GetAddressOf())) ||
      FAILED(result = principal->put_UserId(TemporaryBstr(L"S-1-5-18"))) ||
      FAILED(result = principal->put_LogonType(TASK_LOGON_SERVICE_ACCOUNT)) ||
      FAILED(result = principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST)) ||
      FAILED(result = definition.get_Settings(settings.GetAddressOf())) ||
      FAILED(result = settings->put_MultipleInstances(TASK_INSTANCES_IGNORE_NEW)) ||
      FAILED(result = settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE)) ||
      FAILED(result = settings->put_StopIfGoingOnBatteries(VARIANT_FALSE)) ||
      FAILED(result = settings->put_StartWhenAvailable(VARIANT_TRUE)) ||
      FAILED(result = settings->put_ExecutionTimeLimit(TemporaryBstr(L"PT2H"))) ||
      FAILED(result = settings->put_Priority(4)) || FAILED(result = settings->put_Enabled(VARIANT_TRUE)) ||
      FAILED(result = definition.get_Actions(actions.GetAddressOf())) ||
      FAILED(result = actions->Create(TASK_ACTION_EXEC, action.GetAddressOf())) ||
      FAILED(result = action.As(&exec)) ||
      FAILED(result = exec->put_Path(TemporaryBstr(asWide(command.program.c_str())))) ||
      FAILED(result = exec->put_Arguments(TemporaryBstr(asWide(command.arguments.c_str()))))) {
    return result;
  }
  return S_OK;
}

HRESULT addFinishTaskTriggers(ITaskDefinition& definition) {
  ComPtr<ITriggerCollection> triggers;
  ComPtr<ITrigger> boot, logon;
  HRESULT result;
  if (FAILED(result = definition.get_Triggers(triggers.GetAddressOf())) ||
      FAILED(result = triggers->Create(TASK_TRIGGER_BOOT, boot.GetAddressOf())) ||
      FAILED(result = triggers->Create(TASK_TRIGGER_LOGON, logon.GetAddressOf()))) {
    return result;
  }
  return S_OK;
}

}  // namespace quillon
