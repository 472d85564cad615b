; The installer users who want Vesko 2 installed run: Vesko2-<version>-setup.exe, in Japanese,
; per user and without administrator rights. scripts/dist.sh makes it from the same files as
; the zip (the folder it stages), with
;   makensis -INPUTCHARSET UTF8 -DVERSION=<version> -DSOURCE=<staged folder> -DOUTFILE=<exe>
;            -DICON=app/res/Vesko2.ico
; It installs into the user's programs folder, makes a Start-menu shortcut, registers its
; uninstaller where Windows lists installed apps, and offers to start with Windows (the same
; Run value as the options dialog writes) and to start now. Settings live beside the program,
; as in the zip, and an install over an earlier one leaves them alone.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef SOURCE
  !error "SOURCE is not defined"
!endif
!ifndef OUTFILE
  !error "OUTFILE is not defined"
!endif
!ifndef ICON
  !error "ICON is not defined"
!endif

!define NAME "Vesko 2"
!define PUBLISHER "Vesko 2 Project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesko2"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MAIN_CLASS "TVesko2MainForm"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Vesko 2"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1041 "FileDescription" "${NAME} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "MIT License"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "壁紙チェンジャー ${NAME} ${VERSION} を、このユーザーのフォルダにインストールします。管理者の権限はいりません。$\r$\n$\r$\n動いている ${NAME} は、インストールの前に終了します。前にインストールした版の設定は、そのまま引き継ぎます。$\r$\n$\r$\n「次へ」をクリックして続けてください。"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vesko2.exe"
!define MUI_FINISHPAGE_RUN_TEXT "今すぐ起動する"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Vesko2.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "説明書（Vesko2.txt）を開く"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; The files the installer puts in $INSTDIR, and so the ones the uninstaller takes away.
!macro PROGRAM_FILES DO
  !insertmacro ${DO} "Vesko2.exe"
  !insertmacro ${DO} "ifpng.spi"
  !insertmacro ${DO} "ifwebp.spi"
  !insertmacro ${DO} "ifwic.spi"
  !insertmacro ${DO} "ifheif.spi"
  !insertmacro ${DO} "libheif.dll"
  !insertmacro ${DO} "libde265.dll"
  !insertmacro ${DO} "UNZIP32.DLL"
  !insertmacro ${DO} "Vesko2.txt"
  !insertmacro ${DO} "LICENSE.txt"
  !insertmacro ${DO} "THIRD-PARTY.txt"
!macroend
!macro INSTALL_FILE NAME
  File "${SOURCE}\${NAME}"
!macroend
!macro DELETE_FILE NAME
  Delete "$INSTDIR\${NAME}"
!macroend

; Ends a running Vesko 2: asked to close as by its menu's 終了 (it saves its settings), then,
; after 10 seconds, ended by force. Only one Vesko 2 runs for a user at a time.
!macro CLOSE_RUNNING PREFIX
  FindWindow $0 "${MAIN_CLASS}"
  IntCmp $0 0 ${PREFIX}closed
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $1 0
  ${PREFIX}wait:
    Sleep 250
    FindWindow $0 "${MAIN_CLASS}"
    IntCmp $0 0 ${PREFIX}gone
    IntOp $1 $1 + 1
    IntCmp $1 40 0 ${PREFIX}wait
    nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM Vesko2.exe'
    Pop $2
  ${PREFIX}gone:
    ; Its helper process ends with it; the files are free once both are gone.
    Sleep 500
  ${PREFIX}closed:
!macroend

Section "Vesko 2" SecProgram
  SectionIn RO
  !insertmacro CLOSE_RUNNING "inst_"
  SetOutPath "$INSTDIR"
  !insertmacro PROGRAM_FILES INSTALL_FILE
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext current
  CreateShortCut "$SMPROGRAMS\Vesko 2.lnk" "$INSTDIR\Vesko2.exe" "" "$INSTDIR\Vesko2.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vesko2.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; The same value as the options dialog's Windows の起動時に起動する writes.
Section "Windows の起動時に起動する" SecStartWithWindows
  WriteRegStr HKCU "${RUN_KEY}" "Vesko 2" '"$INSTDIR\Vesko2.exe" /startup'
SectionEnd

Section "Uninstall"
  !insertmacro CLOSE_RUNNING "un_"
  !insertmacro PROGRAM_FILES DELETE_FILE
  Delete "$INSTDIR\uninstall.exe"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Vesko 2.lnk"
  ; The Run value goes when it starts this copy; another copy's stays.
  ReadRegStr $0 HKCU "${RUN_KEY}" "Vesko 2"
  StrCmp $0 '"$INSTDIR\Vesko2.exe" /startup' 0 +2
    DeleteRegValue HKCU "${RUN_KEY}" "Vesko 2"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; What the program wrote beside itself: its settings, exclusion list, message, wallpaper.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "設定ファイル（Vesko2.ini など）も削除しますか？$\r$\n$\r$\n「いいえ」を選ぶと、設定は次にインストールしたときにそのまま使えます。" \
    /SD IDNO IDNO keep
    Delete "$INSTDIR\Vesko2.ini"
    Delete "$INSTDIR\Vesko2.exclude.txt"
    Delete "$INSTDIR\Vesko2.mes"
    Delete "$INSTDIR\$$Vesko2.bmp"
  keep:
  RMDir "$INSTDIR"
SectionEnd
