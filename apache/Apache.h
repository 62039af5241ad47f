// The httpd and APR headers this module uses, made to live beside our ISAPI declarations, and
// logging through Apache's error log as this module with message numbers of our own.
#pragma once

// First, so that its TRUE and FALSE are declared before APR's macros of the same names exist.
#include "host/Isapi.h"

#include <httpd.h>

#include <ap_config.h>
#include <apr_strings.h>
#include <http_config.h>
#include <http_core.h>
#include <http_log.h>
#include <http_protocol.h>
#include <http_request.h>
#include <http_ssl.h>
#include <unixd.h>

// APR's macros would turn isapi::TRUE into isapi::(!FALSE); APR's own code is parsed by now.
#undef TRUE
#undef FALSE

extern "C" module AP_MODULE_DECLARE_DATA isapi_filter_module;

// What APLOG_USE_MODULE declares, written out: the macro's re-declaration of the module would
// drop its C linkage in C++.
[[maybe_unused]] static int* const aplog_module_index = &isapi_filter_module.module_index;

// Our message numbers, in the style of APLOGNO: "PT00001: ...".
#define PTLOGNO(n) "PT" #n ": "
