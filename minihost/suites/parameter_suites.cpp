#include "minihost/suites/parameter_suites.h"

#include "minihost/suites/aegp_services.h"
#include "minihost/suites/param_utils.h"

namespace minihost {

ParamService& InstallParameterSuites(Host& host) {
  ParamService& service = ParamService::Install(host);
  InstallAegpServices(host);
  InstallParamUtilsSuite(host);
  return service;
}

}  // namespace minihost
