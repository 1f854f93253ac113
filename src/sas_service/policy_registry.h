#pragma once
// The SoftwareSASGeneration policy and its record in the registry of this
// PC (HKLM, 64-bit view), as sas::install_policy and sas::uninstall_policy
// use them.
#include <memory>

#include "sas/helper_protocol.h"

namespace hp::sas_service {

std::unique_ptr<sas::PolicyRegistry> make_policy_registry();

}  // namespace hp::sas_service
