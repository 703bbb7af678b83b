#include "platform/win32/job.h"

namespace win32 {

Job::Job() : job_(::CreateJobObjectW(nullptr, nullptr)) {
  if (!job_) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // JOB_OBJECT_LIMIT_BREAKAWAY_OK: an uninstaller that starts a program outside any job
  // (CREATE_BREAKAWAY_FROM_JOB) is not refused; that program is simply not waited for.
  // No JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: what still runs when the wait gives up (a browser
  // page an uninstaller opened) keeps running after the job's handle is closed.
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (!::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
    job_.reset();
  }
}

bool Job::Assign(HANDLE process) { return ::AssignProcessToJobObject(job_.get(), process); }

std::vector<DWORD> Job::ProcessIds() const {
  constexpr DWORD kMostIds = 1024;
  std::vector<unsigned char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) +
                                    kMostIds * sizeof(ULONG_PTR));
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  if (!::QueryInformationJobObject(job_.get(), JobObjectBasicProcessIdList, list,
                                   static_cast<DWORD>(buffer.size()), nullptr) &&
      ::GetLastError() != ERROR_MORE_DATA) {
    return {};
  }
  std::vector<DWORD> ids;
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList && i < kMostIds; ++i)
    ids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
  return ids;
}

bool Job::KnownNotIn(HANDLE process) const {
  BOOL in = TRUE;
  return ::IsProcessInJob(process, job_.get(), &in) && !in;
}

void Job::End(UINT exitCode) { ::TerminateJobObject(job_.get(), exitCode); }

}  // namespace win32
