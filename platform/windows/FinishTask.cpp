// Windows body of platform/FinishTask.h: Task Scheduler 2.0 through its COM interface (ITaskService), the
// definition made as platform/windows/FinishTaskDefinition.h says. taskschd.dll is not imported: COM loads it
// by the full path the registry gives, and the tool loads it from the system folder first, as it does every
// DLL it uses, so that what it loads in turn comes from there too.
#include "platform/FinishTask.h"

#include "platform/windows/FinishTaskDefinition.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <ole2.h>
#include <taskschd.h>
#include <wrl/client.h>

namespace quillon {
namespace {

using Microsoft::WRL::ComPtr;

// The task's full path in the scheduler's tree: \QuillonMigrationTool\Finish.
std::wstring taskPath() { return toWide(kFinishTaskFolder) + L"\\" + toWide(kFinishTaskName); }

// A BSTR handed out by a call, freed at the end of the scope.
using ManagedBstr = ManagedResource<BSTR, SysFreeString>;

// The calling thread in a COM apartment for the scope: entered here unless it is in one already.
class Apartment {
 public:
  Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

 private:
  HRESULT result_;
};

// The scheduler's root folder, connected to the local service as the calling user.
HRESULT rootFolder(ComPtr<ITaskFolder>& root, ComPtr<ITaskService>* connected = nullptr) {
  if (loadSystemLibrary("taskschd.dll") == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  ComPtr<ITaskService> service;
  HRESULT result = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                    reinterpret_cast<void**>(service.GetAddressOf()));
  if (FAILED(result)) return result;
  VARIANT local;
  VariantInit(&local);  // empty: this computer, the calling user
  result = service->Connect(local, local, local, local);
  if (FAILED(result)) return result;
  result = service->GetFolder(TemporaryBstr(L"\\"), root.GetAddressOf());
  if (connected != nullptr) *connected = service;
  return result;
}

bool isNotFound(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

}  // namespace

int registerFinishTask(const FinishTaskCommand& command) {
  if (command.program.empty()) return E_INVALIDARG;
  const Apartment apartment;
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  ComPtr<ITaskDefinition> definition;
  HRESULT result;
  if (FAILED(result = rootFolder(root, &service)) || FAILED(result = service->NewTask(0, definition.GetAddressOf())) ||
      FAILED(result = describeFinishTask(*definition.Get(), command)) ||
      FAILED(result = addFinishTaskTriggers(*definition.Get()))) {
    return result;
  }
  // The account is the definition's principal (SYSTEM, a service account: no password). The folder on the
  // task's path is made as needed.
  VARIANT none;
  VariantInit(&none);
  ComPtr<IRegisteredTask> task;
  result = root->RegisterTaskDefinition(TemporaryBstr(taskPath()), definition.Get(), TASK_CREATE_OR_UPDATE, none, none,
                                        TASK_LOGON_SERVICE_ACCOUNT, none, task.GetAddressOf());
  return SUCCEEDED(result) ? 0 : result;
}

int removeFinishTask() {
  const Apartment apartment;
  ComPtr<ITaskFolder> root;
  HRESULT result = rootFolder(root);
  if (FAILED(result)) return result;
  result = root->DeleteTask(TemporaryBstr(taskPath()), 0);
  if (FAILED(result) && !isNotFound(result)) return result;
  // The folder goes too, unless something else is in it.
  result = root->DeleteFolder(TemporaryBstr(toWide(kFinishTaskFolder + 1)), 0);
  return SUCCEEDED(result) || isNotFound(result) || result == HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY) ? 0 : result;
}

int readFinishTask(FinishTaskCommand& command) {
  const Apartment apartment;
  ComPtr<ITaskFolder> root;
  HRESULT result = rootFolder(root);
  if (FAILED(result)) return result;
  ComPtr<IRegisteredTask> task;
  result = root->GetTask(TemporaryBstr(taskPath()), task.GetAddressOf());
  if (isNotFound(result)) return 2;
  if (FAILED(result)) return result;
  ComPtr<ITaskDefinition> definition;
  ComPtr<IActionCollection> actions;
  LONG count = 0;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  ManagedBstr program, arguments;
  if (FAILED(result = task->get_Definition(definition.GetAddressOf())) ||
      FAILED(result = definition->get_Actions(actions.GetAddressOf())) || FAILED(result = actions->get_Count(&count))) {
    return result;
  }
  if (count < 1) return SCHED_E_INVALID_TASK;
  if (FAILED(result = actions->get_Item(1, action.GetAddressOf())) ||
      FAILED(result = action.As(&exec)) || FAILED(result = exec->get_Path(program.receive())) ||
      FAILED(result = exec->get_Arguments(arguments.receive()))) {
    return result;
  }
  command.program = program.get() != nullptr ? asText(program.get()) : u"";
  command.arguments = arguments.get() != nullptr ? asText(arguments.get()) : u"";
  return 0;
}

}  // namespace quillon
