<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>kelvo_monitor::AlarmBanner</name>
    <message>
        <source>查看告警(&amp;V)</source>
        <translation>&amp;View alarms</translation>
    </message>
    <message>
        <source>, 自 %1</source>
        <translation>, since %1</translation>
    </message>
    <message>
        <source>严重告警: %1</source>
        <translation>Critical alarm: %1</translation>
    </message>
    <message>
        <source>共 %1 个</source>
        <translation>%1 in all</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::AlarmList</name>
    <message>
        <source>确认所选(&amp;A)</source>
        <translation>&amp;Acknowledge selected</translation>
    </message>
    <message>
        <source>全部确认</source>
        <translation>Acknowledge all</translation>
    </message>
    <message>
        <source>告警</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>监视</source>
        <translation>Watches</translation>
    </message>
    <message>
        <source>级别</source>
        <translation>Severity</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>阈值</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>单体/传感器</source>
        <translation>Cell/sensor</translation>
    </message>
    <message>
        <source>开始于</source>
        <translation>Since</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::AlarmText</name>
    <message>
        <source>严重</source>
        <translation>critical</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>warning</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>设备应答</source>
        <translation>Unit answers</translation>
    </message>
    <message>
        <source>%1 号</source>
        <translation>#%1</translation>
    </message>
    <message>
        <source>连接恢复时消除</source>
        <translation>clears when the link is back</translation>
    </message>
    <message>
        <source>已锁存: 已恢复, 待确认</source>
        <translation>latched: back to normal, to be acknowledged</translation>
    </message>
    <message>
        <source>已确认</source>
        <translation>acknowledged</translation>
    </message>
    <message>
        <source>未确认</source>
        <translation>not acknowledged</translation>
    </message>
    <message>
        <source>告警 %1 触发 (%2)</source>
        <translation>Alarm %1 raised (%2)</translation>
    </message>
    <message>
        <source>: %1, 阈值 %2</source>
        <translation>: %1, threshold %2</translation>
    </message>
    <message>
        <source>告警 %1 消除</source>
        <translation>Alarm %1 cleared</translation>
    </message>
    <message>
        <source>告警 %1 已确认</source>
        <translation>Alarm %1 acknowledged</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::CellBars</name>
    <message>
        <source>单体</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>单体电压</source>
        <translation>Cell voltage</translation>
    </message>
    <message>
        <source>最高: %1 号 %2
最低: %3 号 %4
压差: %5</source>
        <translation>Highest: cell %1, %2
Lowest: cell %3, %4
Spread: %5</translation>
    </message>
    <message>
        <source>尚无数据</source>
        <translation>No data yet</translation>
    </message>
    <message>
        <source>单体电压 (%1)</source>
        <translation>Cell voltage (%1)</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::ConnectionBar</name>
    <message>
        <source>端口(&amp;P)</source>
        <translation>&amp;Port</translation>
    </message>
    <message>
        <source>波特率(&amp;B)</source>
        <translation>&amp;Baud</translation>
    </message>
    <message>
        <source>地址(&amp;A)</source>
        <translation>&amp;Address</translation>
    </message>
    <message>
        <source>间隔(&amp;I)</source>
        <translation>&amp;Interval</translation>
    </message>
    <message>
        <source>断开(&amp;D)</source>
        <translation>&amp;Disconnect</translation>
    </message>
    <message>
        <source>连接(&amp;C)</source>
        <translation>&amp;Connect</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::MonitorWindow</name>
    <message>
        <source>记录到 CSV(&amp;R)...</source>
        <translation>&amp;Record to CSV...</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>通信记录</source>
        <translation>Traffic</translation>
    </message>
    <message>
        <source>按需请求</source>
        <translation>On demand</translation>
    </message>
    <message>
        <source>丢弃一段过长的数据 (不是一帧)</source>
        <translation>dropped an over-long run of data (not a frame)</translation>
    </message>
    <message>
        <source>请选择或输入一个端口</source>
        <translation>Pick or type a port</translation>
    </message>
    <message>
        <source>无法记录: %1</source>
        <translation>Cannot record: %1</translation>
    </message>
    <message>
        <source>记录到 CSV 文件</source>
        <translation>Record to a CSV file</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>记录已停止: %1</source>
        <translation>Recording stopped: %1</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>正在打开端口...</source>
        <translation>Opening the port...</translation>
    </message>
    <message>
        <source>%1, 正在重试</source>
        <translation>%1; trying again</translation>
    </message>
    <message>
        <source>连接中断, 正在重连</source>
        <translation>Link lost, reconnecting</translation>
    </message>
    <message>
        <source>连接中断 (%1), 正在重连</source>
        <translation>Link lost (%1), reconnecting</translation>
    </message>
    <message>
        <source>%1 秒无应答</source>
        <translation>No answer for %1 s</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>已连接, 等待应答</source>
        <translation>Connected, waiting for an answer</translation>
    </message>
    <message>
        <source>请求 %1  应答 %2  失败 %3</source>
        <translation>Requests %1  answered %2  failed %3</translation>
    </message>
    <message>
        <source>  延迟 %1 ms</source>
        <translation>  latency %1 ms</translation>
    </message>
    <message>
        <source>  记录 %1 行</source>
        <translation>  recorded %1 rows</translation>
    </message>
    <message>
        <source>连接中断</source>
        <translation>link down</translation>
    </message>
    <message>
        <source>应答不完整</source>
        <translation>incomplete answer</translation>
    </message>
    <message>
        <source>无应答 (只有请求的回显)</source>
        <translation>no answer (only the echo of the request)</translation>
    </message>
    <message>
        <source>无应答 (静默)</source>
        <translation>no answer (silence)</translation>
    </message>
    <message>
        <source>仍未连接 (%1 秒): %2</source>
        <translation>still not connected (%1 s): %2</translation>
    </message>
    <message>
        <source>  记录已停止 (%1 行): %2</source>
        <translation>  recording stopped (%1 rows): %2</translation>
    </message>
    <message>
        <source> - 最后应答于 %1 秒前</source>
        <translation> - last answer %1 s ago</translation>
    </message>
    <message>
        <source>%1: 没有这个设备</source>
        <translation>%1: no such device</translation>
    </message>
    <message>
        <source>%1: 没有权限 (串口设备通常属于 dialout 组: sudo usermod -aG dialout $USER, 然后重新登录)</source>
        <translation>%1: permission denied (serial devices usually belong to the dialout group: sudo usermod -aG dialout $USER, then log in again)</translation>
    </message>
    <message>
        <source>%1: 设备忙, 另一个程序已打开它</source>
        <translation>%1: busy, another program has it open</translation>
    </message>
    <message>
        <source>%1: 连接被拒绝</source>
        <translation>%1: connection refused</translation>
    </message>
    <message>
        <source>%1: 找不到主机</source>
        <translation>%1: host not found</translation>
    </message>
    <message>
        <source>默认配置(&amp;D)</source>
        <translation>&amp;Default profile</translation>
    </message>
    <message>
        <source>打开配置文件(&amp;O)...</source>
        <translation>&amp;Open profile file...</translation>
    </message>
    <message>
        <source>无配置, 原始数值(&amp;N)</source>
        <translation>&amp;None, raw numbers</translation>
    </message>
    <message>
        <source>配置(&amp;P)</source>
        <translation>&amp;Profile</translation>
    </message>
    <message>
        <source>配置未更换: %1</source>
        <translation>Profile not changed: %1</translation>
    </message>
    <message>
        <source>无法使用这个配置</source>
        <translation>Cannot use this profile</translation>
    </message>
    <message>
        <source>仍使用 %1。

%2</source>
        <translation>Still using %1.

%2</translation>
    </message>
    <message>
        <source>打开配置文件</source>
        <translation>Open a profile file</translation>
    </message>
    <message>
        <source>配置文件 (*.toml);;所有文件 (*)</source>
        <translation>Profiles (*.toml);;All files (*)</translation>
    </message>
    <message>
        <source>配置: %1</source>
        <translation>Profile: %1</translation>
    </message>
    <message>
        <source>告警</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>告警规则与这个配置不符: %1</source>
        <translation>The alarm rules do not fit this profile: %1</translation>
    </message>
    <message>
        <source>告警 (%1)</source>
        <translation>Alarms (%1)</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::OnDemandPanel</name>
    <message>
        <source>读取设备信息</source>
        <translation>Read device information</translation>
    </message>
    <message>
        <source>读取寄存器</source>
        <translation>Read register</translation>
    </message>
    <message>
        <source>读取多个寄存器</source>
        <translation>Read registers</translation>
    </message>
    <message>
        <source>寄存器地址, 十六进制</source>
        <translation>Register address, hexadecimal</translation>
    </message>
    <message>
        <source>寄存器地址, 十六进制, 以空格或逗号分隔</source>
        <translation>Register addresses, hexadecimal, separated by spaces or commas</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>寄存器地址</source>
        <translation>Register address</translation>
    </message>
    <message>
        <source>寄存器地址数组</source>
        <translation>Register addresses</translation>
    </message>
    <message>
        <source>寄存器地址应为 1 到 4 位十六进制数</source>
        <translation>A register address is 1 to 4 hexadecimal digits</translation>
    </message>
    <message>
        <source>请输入至少一个寄存器地址</source>
        <translation>Type at least one register address</translation>
    </message>
    <message>
        <source>最多 %1 个寄存器地址</source>
        <translation>At most %1 register addresses</translation>
    </message>
    <message>
        <source>&apos;%1&apos; 不是 1 到 4 位十六进制数</source>
        <translation>&apos;%1&apos; is not 1 to 4 hexadecimal digits</translation>
    </message>
    <message>
        <source>已发送 %1, 等待应答...</source>
        <translation>Sent %1, waiting for the answer...</translation>
    </message>
    <message>
        <source>%1: 无有效应答 (%2)</source>
        <translation>%1: no valid answer (%2)</translation>
    </message>
    <message>
        <source>应答 %1 ms: %2</source>
        <translation>Answered in %1 ms: %2</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::PortPicker</name>
    <message>
        <source>/dev/ttyUSB0 或 tcp://主机:端口</source>
        <translation>/dev/ttyUSB0 or tcp://host:port</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::ProfileText</name>
    <message>
        <source>电流</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>功率</source>
        <translation>Power</translation>
    </message>
    <message>
        <source>最低单体电压</source>
        <translation>Lowest cell voltage</translation>
    </message>
    <message>
        <source>最高单体电压</source>
        <translation>Highest cell voltage</translation>
    </message>
    <message>
        <source>单体压差</source>
        <translation>Cell spread</translation>
    </message>
    <message>
        <source>最低单体编号</source>
        <translation>Lowest cell</translation>
    </message>
    <message>
        <source>最高单体编号</source>
        <translation>Highest cell</translation>
    </message>
    <message>
        <source>最低温度</source>
        <translation>Lowest temperature</translation>
    </message>
    <message>
        <source>最高温度</source>
        <translation>Highest temperature</translation>
    </message>
    <message>
        <source>zh</source>
        <comment>the language of the profile&apos;s titles shown: zh or en</comment>
        <translation>en</translation>
    </message>
    <message>
        <source>无</source>
        <comment>no bit of a field is set</comment>
        <translation>none</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::TrafficLog</name>
    <message>
        <source>起始字符错误</source>
        <translation>bad start character</translation>
    </message>
    <message>
        <source>结束标识错误</source>
        <translation>bad end mark</translation>
    </message>
    <message>
        <source>报文过短</source>
        <translation>too short</translation>
    </message>
    <message>
        <source>数据报文长度不符</source>
        <translation>message length does not match</translation>
    </message>
    <message>
        <source>数据负载长度不符</source>
        <translation>payload length does not match</translation>
    </message>
    <message>
        <source>非大写十六进制字符</source>
        <translation>not upper-case hex</translation>
    </message>
    <message>
        <source>数据负载长度为奇数</source>
        <translation>payload of odd length</translation>
    </message>
    <message>
        <source>数据负载短于字段表</source>
        <translation>payload shorter than its layout</translation>
    </message>
    <message>
        <source>数据负载长于字段表</source>
        <translation>payload longer than its layout</translation>
    </message>
    <message>
        <source>未知命令</source>
        <translation>unknown command</translation>
    </message>
    <message>
        <source>校验值错误</source>
        <translation>bad check value</translation>
    </message>
    <message>
        <source>格式错误</source>
        <translation>not well formed</translation>
    </message>
    <message>
        <source>%1 (第 %2 个字符)</source>
        <translation>%1 (character %2)</translation>
    </message>
    <message>
        <source>: 应为 %1, 实为 %2</source>
        <translation>: expected %1, got %2</translation>
    </message>
    <message>
        <source>已接受</source>
        <translation>accepted</translation>
    </message>
    <message>
        <source>回显</source>
        <translation>echo</translation>
    </message>
    <message>
        <source>地址不符</source>
        <translation>wrong address</translation>
    </message>
    <message>
        <source>命令不符</source>
        <translation>wrong command</translation>
    </message>
    <message>
        <source>过长</source>
        <translation>overlong</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::TrendCharts</name>
    <message>
        <source>1 分钟</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>10 分钟</source>
        <translation>10 minutes</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>24 小时</source>
        <translation>24 hours</translation>
    </message>
    <message>
        <source>字段</source>
        <translation>Fields</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>%1 号</source>
        <translation>#%1</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::ValuesTable</name>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>原始值</source>
        <translation>Raw</translation>
    </message>
</context>
<context>
    <name>kelvo_monitor::WindowProfile</name>
    <message>
        <source>无 (原始数值)</source>
        <translation>none (raw numbers)</translation>
    </message>
    <message>
        <source>%1 (默认)</source>
        <translation>%1 (default)</translation>
    </message>
</context>
</TS>
