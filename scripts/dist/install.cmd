@echo off
rem Installs the KESTREL customer display driver from the folder this file is in,
rem without a window, for deployment tools (Group Policy startup scripts, PDQ Deploy,
rem Configuration Manager and the like). The arguments go to the installer as given:
rem
rem   install.cmd /model "KESTREL ZEP-4000" /port COM3 [/portsettings 9600,n,8,1] [/forcerestart]
rem
rem The trace log goes to %ZEP_LOG% (default %SystemRoot%\Temp\ZEP_Installer.log, a folder
rem only administrators can write). The exit code is the installer's own, unchanged:
rem 0 and 3010 are success (3010: restart the terminal), 1641 a restart has begun,
rem 1618 another installation is running (run it again later); README, "Exit codes".
setlocal
set "LOG=%ZEP_LOG%"
if not defined LOG set "LOG=%SystemRoot%\Temp\ZEP_Installer.log"
pushd "%~dp0"
start "" /wait "%~dp0ZEP_Installer.exe" /quiet /log "%LOG%" %*
set RC=%ERRORLEVEL%
popd
echo ZEP_Installer.exe ended with %RC%; its log: %LOG%
exit /b %RC%
