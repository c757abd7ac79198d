#pragma once
// The texts the code shows (messages, captions, the about box), in UTF-8
// like every text of the core; the Windows side hands them to the wide
// calls, so they read the same on a Windows of any language. The dialogs'
// own texts (labels, buttons, titles) are in their templates, ui/dialogs.rc.

#define TEXT_ERROR_CAPTION "오류"
#define TEXT_ARCHIVE_OPEN_FAILED "압축파일을 읽는데 오류가 발생했습니다."
#define TEXT_CLOSE_FAILED "파일을 닫을 수 없습니다."
#define TEXT_OUT_OF_MEMORY "메모리가 부족합니다."
#define TEXT_SIZE_MISMATCH "파일 크기가 틀립니다, 다시 다운로드 하세요."

// Listing and extraction
#define TEXT_BAD_MEMBER_NAME "적절하지 않은 파일 이름입니다."
#define TEXT_SIZE_NOT_RECORDED "크기가 기록되지 않은 파일은 풀 수 없습니다."
#define TEXT_ALL_EXTRACTED "모든 파일을 압축을 풀었습니다."
#define TEXT_FINISHED_CAPTION "Finished."
#define TEXT_SOME_NOT_EXTRACTED "선택된 파일은 압축을 풀 수 없습니다."
#define TEXT_DIRECTORY_ERROR "디렉토리 오류..."
#define TEXT_CANNOT_OPEN_FILE "파일을 열 수 없습니다."
#define TEXT_UNKNOWN_METHOD "알수없는 압축 형식"
#define TEXT_AES_UNAVAILABLE "AES 암호를 풀 수 없는 시스템입니다."
#define TEXT_EXTRACTING "압축 풀기: "
#define TEXT_FILE_EXISTS "파일이 이미 존재합니다, 겹쳐 쓰시겠습니까?"

// Run after extraction
#define TEXT_RUN_CHOICE_PREFIX "압축 푼 후 실행 : "

// Folder browser and new-subdirectory dialog
#define TEXT_BROWSE_TITLE "압축 풀 디렉토리를 선택하세요."
#define TEXT_BROWSE_CAPTION "압축 풀 디렉토리 : "
#define TEXT_NEW_FOLDER_BUTTON "새로 만들기..."

// About box
#define TEXT_ABOUT_CAPTION "도로미 자동풀림에 대하여..."
#define TEXT_ABOUT                                                  \
    "도로미 자동풀림 압축파일\r\n\r\n"                              \
    "받은 압축파일의 파일들을 고른 디렉토리에 풀어 줍니다.\r\n"     \
    "저장 방식과 deflate 압축, ZIP 암호를 지원합니다.\r\n\r\n"      \
    "만든 곳: 도로미 팀"
