// Everything of the host interface in one include.
#pragma once

#include "host/ae_indata.h"
#include "host/ae_params.h"
#include "host/ae_smart.h"
#include "host/ae_suites.h"
#include "host/ae_types.h"
#include "host/ae_world.h"
