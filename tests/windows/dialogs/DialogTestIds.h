// Template and control ids of the dialog tests.
#pragma once

#define IDD_TEST_EDIT_HOST 200
#define IDC_TEST_EDIT 201

#define IDD_TEST_FORM 210
#define IDD_TEST_PAGE 211
#define IDD_TEST_MISSING 299
#define IDC_TEST_NAME 1001
#define IDC_TEST_CHECK 1002
#define IDC_TEST_RADIO1 1003
#define IDC_TEST_RADIO2 1004
#define IDC_TEST_RADIO3 1005
#define IDC_TEST_APPLY 1006
#define IDC_TEST_THROW 1007
#define IDC_TEST_EXTRA 1008
