#pragma once
// Control ids of the dialog templates, shared by the resource script and
// the dialog procedures. Plain #defines so the resource compiler reads them.

// Main dialog
#define IDC_START 1
#define IDC_CLOSE 2
#define IDC_DIR_LABEL 100
#define IDC_EXTRACT_DIR 101
#define IDC_ABOUT 103
#define IDC_MEMBER_LIST 301
#define IDC_MEMBER_LIST_FIXED 302
#define IDC_OVERWRITE 501
#define IDC_SKIP 502
#define IDC_ASK 503
#define IDC_OVERWRITE_GROUP 509
#define IDC_BROWSE 775
#define IDC_RUN_AFTER 1007

// Overwrite question (FileExist)
#define IDC_EXISTS_QUESTION 101
#define IDC_NEVER_ASK_AGAIN 401

// Password prompt (PASSWD)
#define IDC_PASSWORD 101

// Folder browser: the button added beside the shell's OK button
#define IDC_NEW_FOLDER 1277

// New-subdirectory dialog (DLGNEW)
#define IDC_BASE_FOLDER 3001
#define IDC_NEW_DIR_NAME 3002
