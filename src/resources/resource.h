// Resource and control identifiers shared by the resource scripts and the code.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_BRINDLE_DIALOG 103
#define IDR_MAINFRAME 128

#define IDC_BOTTOM_BAR 1001
#define IDC_PAGE_BOTTOM_BAR 1002
#define IDC_TOP_LINE 1004
#define IDC_HEADER_LINE 1006
#define IDC_PRODUCT_ICON 1007
#define IDC_TITLE 1008
#define IDC_PAGE_SEPARATOR 1009
#define IDC_PAGE_AREA 1014
#define IDC_SHOW_TEST_ERROR 1038
#define IDC_ABOUT_VERSION 1045

#define IDR_IMAGE_DOWNLOAD 101
#define IDR_IMAGE_SUCCESS 102
#define IDR_IMAGE_FAILURE 103
#define IDR_BT_TEXTS 120
