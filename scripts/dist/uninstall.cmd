@echo off
rem Removes the KESTREL customer display driver without a window, for deployment
rem tools. Runs the installed uninstaller (%SystemRoot%\ZEP\ZEP_Uninstaller.exe), or,
rem when that is gone, the one beside this file. The arguments go to it as given:
rem
rem   uninstall.cmd [/printer NAME]... [/forcerestart]
rem
rem The trace log goes to %ZEP_LOG% (default %SystemRoot%\Temp\ZEP_Uninstaller.log).
rem The exit code is the uninstaller's own, unchanged: 0 and 3010 are success
rem (3010: restart the terminal), 1605 the driver was not installed; README, "Exit codes".
setlocal
set "LOG=%ZEP_LOG%"
if not defined LOG set "LOG=%SystemRoot%\Temp\ZEP_Uninstaller.log"
set "UNINSTALLER=%SystemRoot%\ZEP\ZEP_Uninstaller.exe"
if not exist "%UNINSTALLER%" set "UNINSTALLER=%~dp0ZEP_Uninstaller.exe"
start "" /wait "%UNINSTALLER%" /quiet /log "%LOG%" %*
set RC=%ERRORLEVEL%
echo ZEP_Uninstaller.exe ended with %RC%; its log: %LOG%
exit /b %RC%
