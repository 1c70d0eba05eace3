#pragma once

// The maker's web site, the one place its address is written. Plain preprocessor
// text, so that the resource script can show the host name in the about box.
#define VEXO_WEB_HOST "www.vexo.example"
#define VEXO_WEB_SITE "https://" VEXO_WEB_HOST
