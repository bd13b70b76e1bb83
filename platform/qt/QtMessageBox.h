#pragma once

// Makes AfxMessageBox show a real, modal QMessageBox owned by the active window.
void InstallQtMessageBox();
