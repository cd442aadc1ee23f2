#pragma once
// The host services the package uses: include this one header.

#include "ComboUtility.h"
#include "DataAccess.h"
#include "Globals.h"
#include "Log.h"
#include "Lookup.h"
#include "Messages.h"
#include "Privileges.h"
#include "PubError.h"
#include "QnParams.h"
#include "Registry.h"
#include "Rounding.h"
#include "Settings.h"
#include "SteadyReads.h"
#include "SysParams.h"
