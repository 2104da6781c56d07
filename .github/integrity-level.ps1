# Prints the integrity level process Id really runs at, read from its token's mandatory label:
# Low, Medium, High or System (or the label's number). whoami /groups tells only its own.
param([Parameter(Mandatory)][int]$Id)
Add-Type -Namespace Win32 -Name Token -MemberDefinition @'
[DllImport("kernel32.dll", SetLastError = true)] public static extern IntPtr OpenProcess(uint access, bool inherit, int id);
[DllImport("advapi32.dll", SetLastError = true)] public static extern bool OpenProcessToken(IntPtr process, uint access, out IntPtr token);
[DllImport("advapi32.dll", SetLastError = true)]
public static extern bool GetTokenInformation(IntPtr token, int infoClass, IntPtr info, int size, out int needed);
[DllImport("kernel32.dll")] public static extern bool CloseHandle(IntPtr handle);
'@
$process = [Win32.Token]::OpenProcess(0x1000, $false, $Id) # PROCESS_QUERY_LIMITED_INFORMATION
if ($process -eq [IntPtr]::Zero) { throw "process $Id cannot be opened: error $([Runtime.InteropServices.Marshal]::GetLastWin32Error())" }
$token = [IntPtr]::Zero
$label = [Runtime.InteropServices.Marshal]::AllocHGlobal(256)
try {
    if (-not [Win32.Token]::OpenProcessToken($process, 0x0008, [ref]$token)) { throw "no token for process $Id" } # TOKEN_QUERY
    $needed = 0
    if (-not [Win32.Token]::GetTokenInformation($token, 25, $label, 256, [ref]$needed)) { # TokenIntegrityLevel
        throw "no integrity level for process $Id"
    }
    # TOKEN_MANDATORY_LABEL starts with the label's SID, S-1-16-<level>.
    $sid = New-Object Security.Principal.SecurityIdentifier([Runtime.InteropServices.Marshal]::ReadIntPtr($label))
    $level = [int]($sid.Value -split '-')[-1]
    $names = @{ 4096 = 'Low'; 8192 = 'Medium'; 12288 = 'High'; 16384 = 'System' }
    if ($names.ContainsKey($level)) { $names[$level] } else { "$level" }
} finally {
    [Runtime.InteropServices.Marshal]::FreeHGlobal($label)
    if ($token -ne [IntPtr]::Zero) { [void][Win32.Token]::CloseHandle($token) }
    [void][Win32.Token]::CloseHandle($process)
}
