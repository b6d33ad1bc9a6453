// Template and control ids of the dialog tests.
#pragma once

#define IDD_TEST_EDIT_HOST 200
#define IDC_TEST_EDIT 201
